#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <QPlainTextEdit>

#include "transcript/Transcript.h"

class QAction;

namespace tellamo {

// The current note's transcript under the graph ("TranscriptPane"): one line per phrase. The
// word being spoken is highlighted as the player's position arrives, the words the filter looks
// for are marked, and a click on a word asks for playback from just before it. A note without a
// transcript shows, greyed and centred, why it has none (which is also the pane's accessible
// description, for a screen reader). Window thread.
class TranscriptPane : public QPlainTextEdit {
    Q_OBJECT
public:
    // How far before a clicked word playback starts, so that its first sound is heard whole.
    static constexpr std::int64_t LeadInMs = 300;

    // copyAction: "Copy Transcript", offered in the pop-up menu and triggered from outside too.
    TranscriptPane(QAction& copyAction, QWidget* parent);

    // Shows the transcript of the note whose WAV is at wavPath (empty: no note); a missing,
    // unreadable or foreign file shows an empty pane.
    void ShowNote(const std::string& wavPath);
    // The note's .vtt was written anew: shown again when it is the one on view.
    void TranscriptWritten(const std::string& wavPath);
    // Why notes get no transcript here ("Transcription is off", a missing speech model); empty
    // while they are transcribed, when a note without one shows "No transcript yet".
    void SetNoTranscriptReason(const QString& reason);
    // What the pane shows in place of a transcript; empty with no note on view or a transcript.
    const QString& Placeholder() const { return mPlaceholder; }
    // The player's position in the note (negative: not playing); highlights the word spoken.
    void SetPlaybackPosition(std::int64_t ms);
    // The filter's typed text: the words beginning with one of its words are marked.
    void SetFilterWords(const QString& typed);

    const std::vector<TimedWord>& Words() const { return mWords; }
    // The index in Words() of the word at a point of the viewport, -1 for none.
    int WordAt(const QPoint& viewportPoint) const;
    // Where a word is in the viewport.
    QRect WordRect(int index) const;
    // The word highlighted now (-1 for none) and the words marked for the filter.
    int SpokenWord() const { return mSpokenWord; }
    const std::vector<int>& MarkedWords() const { return mMarkedWords; }
    // The transcript as text: one line per phrase.
    QString TranscriptText() const { return toPlainText(); }
    void CopyTranscript();

signals:
    // Playback from this place in the note (ms), after a click on a word.
    void PlayFrom(std::int64_t ms);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Load(const std::string& wavPath);
    void Show(const Transcript& transcript);
    void MarkFilterWords();
    void UpdateSelections();
    void UpdatePlaceholder();

    QAction& mCopyAction;
    std::string mWavPath;
    std::vector<TimedWord> mWords;
    std::vector<std::pair<int, int>> mWordSpans; // each word's first character and length
    std::vector<int> mMarkedWords;
    std::vector<std::string> mFilterTokens;
    bool mHasTranscript = false; // the note on view has a readable .vtt (perhaps without words)
    QString mNoTranscriptReason;
    QString mPlaceholder;
    int mSpokenWord = -1;
    QPoint mPressedAt;
    bool mPressed = false;
};

} // namespace tellamo
