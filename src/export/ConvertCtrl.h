#pragma once

#include <QString>
#include <QStringList>

#include "common/FileSystem.h"

namespace tellamo {

// One audio compressor that the converter offers.
class TCompressor {
public:
    explicit TCompressor(QString name) : CompressorName(std::move(name)) {}
    QString Name() const { return CompressorName; }

private:
    QString CompressorName;
};

// The converter's list of audio compressors, with the one selected for the next conversion
// (-1: none).
class TCompressorList {
public:
    TCompressorList();
    int Count() const { return static_cast<int>(Items.size()); }
    // Throws TellamoError for an index outside 0..Count()-1.
    const TCompressor& Item(int index) const;
    int Selection() const { return Selected; }
    // -1 or a valid index; throws TellamoError otherwise.
    void SetSelection(int index);

private:
    std::vector<TCompressor> Items;
    int Selected = -1;
};

// Converts a note's WAV file (PCM, 8 or 16 bits, mono or stereo) into a WAV file coded with
// DSP Group TrueSpeech 8.5: the sound is mixed to mono, resampled to 8000 Hz and encoded.
// StartConvert works synchronously: when it returns, the target file is complete. The target
// is written under a temporary name beside it and renamed into place, so a failed conversion
// never leaves a partial file under the target's name (an old file there stays untouched).
// Errors are thrown as TellamoError with a text for the user. Not thread-safe; use one
// converter per thread.
class TConvertCtrl {
public:
    static constexpr int TargetFormatWav = 2; // the only target format: a WAV file
    static inline const QString TrueSpeechName = QStringLiteral("DSP Group TrueSpeech(TM)");

    explicit TConvertCtrl(FileSystem& fileSystem = RealFileSystem());

    QString SourceFile() const { return Source; }
    void SetSourceFile(const QString& path) { Source = path; }
    QString TargetFile() const { return Target; }
    void SetTargetFile(const QString& path) { Target = path; }
    int TargetFormat() const { return Format; }
    void SetTargetFormat(int format) { Format = format; }

    TCompressorList& AudioCompressors() { return Compressors; }
    const TCompressorList& AudioCompressors() const { return Compressors; }

    void StartConvert();

private:
    FileSystem& Files;
    QString Source;
    QString Target;
    int Format = 0;
    TCompressorList Compressors;
};

} // namespace tellamo
