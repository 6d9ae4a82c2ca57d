#include "catalogue/NoteRecord.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

namespace tellamo {

namespace {

// The address sanitizer finds a record used after it was deleted only in memory the heap hands
// out itself.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool Pooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Pooled = false;
#else
constexpr bool Pooled = true;
#endif
#else
constexpr bool Pooled = true;
#endif

// Blocks of records, each on an address that is a multiple of its size, so that a record finds
// its block. A block hands out its slots in order, takes them back into a free list of its own,
// and goes back to the heap when its last record is deleted: deleting notes, or a reload, gives
// the memory back as deleting one heap block per note did. Records are made and deleted on the
// window thread, but the tools and the tests make them on others; a spin lock costs next to
// nothing when nobody waits.
class RecordPool {
public:
    void* Take() {
        Lock();
        if (!mRoomy) {
            void* memory = std::aligned_alloc(BlockBytes, BlockBytes);
            if (!memory) {
                Unlock();
                throw std::bad_alloc();
            }
            Link(new (memory) Block);
        }
        Block* block = mRoomy;
        void* slot;
        if (block->Free) {
            slot = block->Free;
            block->Free = block->Free->Next;
        } else {
            slot = reinterpret_cast<unsigned char*>(block) + FirstSlot +
                   block->Handed * sizeof(NoteRecord);
            ++block->Handed;
        }
        if (++block->Live == BlockRecords) {
            Unlink(block);
        }
        Unlock();
        return slot;
    }
    void Give(void* record) noexcept {
        Lock();
        auto* block = reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(record) &
                                               ~(std::uintptr_t{BlockBytes} - 1));
        if (block->Live == BlockRecords) {
            Link(block);
        }
        auto* slot = static_cast<FreeSlot*>(record);
        slot->Next = block->Free;
        block->Free = slot;
        if (--block->Live == 0) {
            Unlink(block);
            block->~Block();
            std::free(block);
        }
        Unlock();
    }

private:
    struct FreeSlot {
        FreeSlot* Next;
    };
    struct Block {
        Block* Previous = nullptr; // in the list of blocks with room
        Block* Next = nullptr;
        FreeSlot* Free = nullptr;
        std::size_t Handed = 0; // slots handed out in order so far
        std::size_t Live = 0;
    };
    static_assert(sizeof(NoteRecord) >= sizeof(FreeSlot));
    static constexpr std::size_t BlockBytes = 128 * 1024;
    static constexpr std::size_t FirstSlot =
        (sizeof(Block) + alignof(NoteRecord) - 1) / alignof(NoteRecord) * alignof(NoteRecord);
    static constexpr std::size_t BlockRecords = (BlockBytes - FirstSlot) / sizeof(NoteRecord);

    void Link(Block* block) {
        block->Previous = nullptr;
        block->Next = mRoomy;
        if (mRoomy) {
            mRoomy->Previous = block;
        }
        mRoomy = block;
    }
    void Unlink(Block* block) {
        (block->Previous ? block->Previous->Next : mRoomy) = block->Next;
        if (block->Next) {
            block->Next->Previous = block->Previous;
        }
        block->Previous = block->Next = nullptr;
    }
    // Held for a few instructions: a thread that finds it taken lets the holder run.
    void Lock() {
        while (mLock.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void Unlock() { mLock.clear(std::memory_order_release); }

    std::atomic_flag mLock;
    Block* mRoomy = nullptr; // the blocks with a free slot
};

// Never destroyed: records can outlive the statics of the program's end.
RecordPool& Pool() {
    static RecordPool* pool = new RecordPool;
    return *pool;
}

} // namespace

void* NoteRecord::operator new(std::size_t size) {
    if (!Pooled || size != sizeof(NoteRecord)) {
        return ::operator new(size);
    }
    return Pool().Take();
}

void NoteRecord::operator delete(void* record, std::size_t size) noexcept {
    if (!record) {
        return;
    }
    if (!Pooled || size != sizeof(NoteRecord)) {
        ::operator delete(record);
        return;
    }
    Pool().Give(record);
}

} // namespace tellamo
