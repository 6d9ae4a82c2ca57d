#pragma once

#include <QString>
#include <QStringList>

#include "common/Errors.h"
#include "common/FileSystem.h"
#include "export/StagedFile.h"

namespace tellamo {

// Thrown through a conversion whose progress callback asked it to stop; the target is then as
// it was before.
class ConversionCancelled : public TellamoError {
public:
    ConversionCancelled() : TellamoError("The conversion was cancelled") {}
};

// One audio compressor that the converter offers.
class TCompressor {
public:
    explicit TCompressor(QString name) : mCompressorName(std::move(name)) {}
    QString Name() const { return mCompressorName; }

private:
    QString mCompressorName;
};

// The converter's list of audio compressors, with the one selected for the next conversion
// (-1: none).
class CompressorList {
public:
    // Every compressor the program has: TrueSpeech and Ogg Opus.
    CompressorList();
    // Exactly these compressors (a converter without some codec, for tests).
    explicit CompressorList(std::vector<TCompressor> items) : mItems(std::move(items)) {}
    int Count() const { return static_cast<int>(mItems.size()); }
    // Throws TellamoError for an index outside 0..Count()-1.
    const TCompressor& Item(int index) const;
    int Selection() const { return mSelected; }
    // -1 or a valid index; throws TellamoError otherwise.
    void SetSelection(int index);

private:
    std::vector<TCompressor> mItems;
    int mSelected = -1;
};

// Converts a note's WAV file (PCM, 8 or 16 bits, mono or stereo) into a WAV file coded with
// DSP Group TrueSpeech 8.5: the sound is mixed to mono, resampled to 8000 Hz and encoded. With
// the Ogg Opus compressor selected and the target format Ogg, it writes an Ogg Opus file instead
// (mono speech at about 16 kbit/s).
// StartConvert works synchronously: when it returns, the target file is complete. The target
// is written under a temporary name beside it and renamed into place, so a failed conversion
// never leaves a partial file under the target's name (an old file there stays untouched).
// Errors are thrown as TellamoError with a text for the user. Not thread-safe; use one
// converter per thread.
class ConvertCtrl {
public:
    static constexpr int TargetFormatWav = 2; // the only target format: a WAV file
    static constexpr int TargetFormatOgg = 3; // an Ogg file, for the Ogg Opus compressor
    static inline const QString TrueSpeechName = QStringLiteral("DSP Group TrueSpeech(TM)");
    static inline const QString OpusName = QStringLiteral("Ogg Opus");

    explicit ConvertCtrl(FileSystem& fileSystem = RealFileSystem());
    ConvertCtrl(FileSystem& fileSystem, CompressorList compressors);

    QString SourceFile() const { return mSource; }
    void SetSourceFile(const QString& path) { mSource = path; }
    QString TargetFile() const { return mTarget; }
    void SetTargetFile(const QString& path) { mTarget = path; }
    int TargetFormat() const { return mFormat; }
    void SetTargetFormat(int format) { mFormat = format; }

    CompressorList& AudioCompressors() { return mCompressors; }
    const CompressorList& AudioCompressors() const { return mCompressors; }

    // Called on the converting thread as the source is read; it may throw ConversionCancelled.
    void SetProgress(WorkProgress progress) { mProgress = std::move(progress); }

    void StartConvert();

private:
    void StartOpus();
    WorkProgress mProgress;
    FileSystem& mFiles;
    QString mSource;
    QString mTarget;
    int mFormat = 0;
    CompressorList mCompressors;
};

} // namespace tellamo
