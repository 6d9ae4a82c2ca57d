#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace tellamo {

// Hands the recorder's accepted buffers from the capture thread to the window thread, which
// draws them into the live graph. The capture thread must not draw (the window thread paints
// and resizes the same surface) and must give the device's buffer back quickly, so it only
// copies the samples into a slot preallocated here.
//
// Thread rule: exactly one producer, the capture thread, calls Push; exactly one consumer, the
// window thread, calls Drain and Discard. Push never allocates, locks or blocks. Shared state:
// WriteIndex is written by the producer only and ReadIndex by the consumer only, each published
// with release and read with acquire, so a slot's bytes are complete before the consumer sees
// it. Dropped is an atomic counter. Slot contents are touched by one side at a time: the
// producer fills only slots the consumer has released, the consumer reads only published ones.
class LiveGraphFeed {
public:
    // One buffer as handed over: the samples, their byte count, the 16-bit flag and the rate.
    struct Buffer {
        const unsigned char* Samples;
        std::uint16_t ByteCount;
        bool SixteenBit;
        std::uint16_t SampleRate;
    };

    // slotCount buffers of up to slotBytes bytes each; a tenth of a second at 22050 Hz 16-bit
    // is 4410 bytes, and the 16-bit byte count of a buffer cannot exceed 65535.
    explicit LiveGraphFeed(std::size_t slotCount = 32, std::size_t slotBytes = 65535)
        : mSlotCount(slotCount < 2 ? 2 : slotCount), mSlotBytes(slotBytes),
          mSlots(new SlotHeader[mSlotCount]), mData(new unsigned char[mSlotCount * mSlotBytes]) {}

    LiveGraphFeed(const LiveGraphFeed&) = delete;
    LiveGraphFeed& operator=(const LiveGraphFeed&) = delete;

    // Capture thread. Copies the buffer (at most the slot size; a longer one is cut) and
    // publishes it. Returns false, and counts the buffer as dropped, when the window thread has
    // fallen so far behind that every slot is still waiting.
    bool Push(const void* samples, std::uint16_t byteCount, bool sixteenBit,
              std::uint16_t sampleRate) {
        const std::size_t write = mWriteIndex.load(std::memory_order_relaxed);
        const std::size_t read = mReadIndex.load(std::memory_order_acquire);
        if (write - read >= mSlotCount) {
            mDropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        const std::size_t slot = write % mSlotCount;
        const std::size_t bytes = byteCount < mSlotBytes ? byteCount : mSlotBytes;
        if (bytes > 0 && samples) {
            std::memcpy(mData.get() + slot * mSlotBytes, samples, bytes);
        }
        mSlots[slot] =
            SlotHeader{static_cast<std::uint16_t>(samples ? bytes : 0), sixteenBit, sampleRate};
        mWriteIndex.store(write + 1, std::memory_order_release);
        return true;
    }

    // Window thread. Calls draw(const Buffer&) for every buffer published so far, in order, and
    // releases each slot after its call. Returns the number of buffers drawn.
    template <typename DrawFn> std::size_t Drain(DrawFn&& draw) {
        std::size_t read = mReadIndex.load(std::memory_order_relaxed);
        const std::size_t write = mWriteIndex.load(std::memory_order_acquire);
        std::size_t drawn = 0;
        for (; read != write; ++read, ++drawn) {
            const std::size_t slot = read % mSlotCount;
            const SlotHeader& h = mSlots[slot];
            draw(Buffer{mData.get() + slot * mSlotBytes, h.ByteCount, h.SixteenBit, h.SampleRate});
            mReadIndex.store(read + 1, std::memory_order_release);
        }
        return drawn;
    }

    // Window thread: forgets what is waiting, for instance what is left of an earlier
    // recording when a new one starts.
    void Discard() {
        mReadIndex.store(mWriteIndex.load(std::memory_order_acquire), std::memory_order_release);
    }

    // Buffers refused by Push because every slot was taken; readable from either thread.
    std::uint64_t DroppedBuffers() const { return mDropped.load(std::memory_order_relaxed); }
    std::size_t Capacity() const { return mSlotCount; }

private:
    struct SlotHeader {
        std::uint16_t ByteCount = 0;
        bool SixteenBit = false;
        std::uint16_t SampleRate = 0;
    };

    const std::size_t mSlotCount;
    const std::size_t mSlotBytes;
    std::unique_ptr<SlotHeader[]> mSlots;
    std::unique_ptr<unsigned char[]> mData;
    // The two indexes sit on separate cache lines so that the threads do not contend.
    alignas(64) std::atomic<std::size_t> mWriteIndex{0};
    alignas(64) std::atomic<std::size_t> mReadIndex{0};
    alignas(64) std::atomic<std::uint64_t> mDropped{0};
};

} // namespace tellamo
