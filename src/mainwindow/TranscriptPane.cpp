#include "mainwindow/TranscriptPane.h"

#include <algorithm>
#include <memory>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

#include "common/Errors.h"
#include "common/Translate.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo {

namespace {
// A word stays highlighted this long past its end, so that the short gaps between words do not
// make the highlight flicker; a longer pause shows none.
constexpr std::int64_t HighlightGraceMs = 700;
} // namespace

TranscriptPane::TranscriptPane(QAction& copyAction, QWidget* parent)
    : QPlainTextEdit(parent), mCopyAction(copyAction) {
    setObjectName(QStringLiteral("TranscriptPane"));
    setAccessibleName(TranslateText("Transcript"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setMinimumHeight(24);
    connect(&mCopyAction, &QAction::triggered, this, &TranscriptPane::CopyTranscript);
}

void TranscriptPane::ShowNote(const std::string& wavPath) {
    // Asked at every refresh of the list; a transcript on view is read again only for another
    // note (the worker tells when it writes one anew).
    if (wavPath != mWavPath || mWords.empty()) {
        Load(wavPath);
    }
}

void TranscriptPane::Load(const std::string& wavPath) {
    mWavPath = wavPath;
    Transcript transcript;
    mHasTranscript = false;
    if (!wavPath.empty()) {
        try {
            transcript = ReadTranscriptFile(TranscriptPathFor(wavPath));
            mHasTranscript = true;
        } catch (const TellamoError&) {
            // No transcript yet (or one that cannot be read, which the worker makes anew).
        }
    }
    Show(transcript);
}

void TranscriptPane::SetNoTranscriptReason(const QString& reason) {
    if (reason != mNoTranscriptReason) {
        mNoTranscriptReason = reason;
        UpdatePlaceholder();
    }
}

void TranscriptPane::UpdatePlaceholder() {
    // A transcript of silence has no words, and nothing to say about it either.
    QString text;
    if (!mWavPath.empty() && !mHasTranscript) {
        text = mNoTranscriptReason.isEmpty() ? TranslateText("No transcript yet")
                                             : mNoTranscriptReason;
    }
    if (text != mPlaceholder) {
        mPlaceholder = text;
        setAccessibleDescription(text);
        viewport()->update();
    }
}

void TranscriptPane::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    if (mPlaceholder.isEmpty() || !document()->isEmpty()) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int margin = static_cast<int>(document()->documentMargin());
    painter.drawText(viewport()->rect().adjusted(margin, 0, -margin, 0),
                     Qt::AlignCenter | Qt::TextWordWrap, mPlaceholder);
}

void TranscriptPane::TranscriptWritten(const std::string& wavPath) {
    if (!wavPath.empty() && wavPath == mWavPath) {
        Load(wavPath);
    }
}

void TranscriptPane::Show(const Transcript& transcript) {
    mWords.clear();
    mWordSpans.clear();
    mSpokenWord = -1;
    QString text;
    for (const Cue& cue : transcript.Cues) {
        if (cue.Words.empty()) {
            continue;
        }
        if (!text.isEmpty()) {
            text += QChar('\n');
        }
        for (std::size_t i = 0; i < cue.Words.size(); ++i) {
            if (i > 0) {
                text += QChar(' ');
            }
            const QString word = QString::fromStdString(cue.Words[i].Text);
            mWordSpans.emplace_back(static_cast<int>(text.size()), static_cast<int>(word.size()));
            mWords.push_back(cue.Words[i]);
            text += word;
        }
    }
    setPlainText(text);
    mCopyAction.setEnabled(!mWords.empty());
    MarkFilterWords();
    UpdatePlaceholder();
}

void TranscriptPane::SetFilterWords(const QString& typed) {
    mFilterTokens = SearchTokens(typed.toStdString());
    MarkFilterWords();
}

void TranscriptPane::MarkFilterWords() {
    mMarkedWords.clear();
    for (std::size_t i = 0; i < mWords.size() && !mFilterTokens.empty(); ++i) {
        bool marked = false;
        for (const std::string& part : SearchTokens(mWords[i].Text)) {
            for (const std::string& prefix : mFilterTokens) {
                marked = marked || part.compare(0, prefix.size(), prefix) == 0;
            }
        }
        if (marked) {
            mMarkedWords.push_back(static_cast<int>(i));
        }
    }
    UpdateSelections();
}

void TranscriptPane::SetPlaybackPosition(std::int64_t ms) {
    int spoken = -1;
    if (ms >= 0 && !mWords.empty()) {
        // The last word that has begun; the words are in time order.
        const auto after = std::upper_bound(
            mWords.begin(), mWords.end(), ms,
            [](std::int64_t at, const TimedWord& word) { return at < word.StartMs; });
        if (after != mWords.begin()) {
            const auto word = std::prev(after);
            if (ms <= word->EndMs + HighlightGraceMs) {
                spoken = static_cast<int>(word - mWords.begin());
            }
        }
    }
    if (spoken == mSpokenWord) {
        return;
    }
    mSpokenWord = spoken;
    UpdateSelections();
    if (spoken >= 0) {
        QTextCursor cursor(document());
        cursor.setPosition(mWordSpans[static_cast<std::size_t>(spoken)].first);
        setTextCursor(cursor);
        ensureCursorVisible();
    }
}

void TranscriptPane::UpdateSelections() {
    // Extra selections colour the words without touching the document, so that a position
    // update costs no new layout of the text.
    QList<QTextEdit::ExtraSelection> selections;
    const auto select = [&](int index, const QTextCharFormat& format) {
        const auto [start, length] = mWordSpans[static_cast<std::size_t>(index)];
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(document());
        selection.cursor.setPosition(start);
        selection.cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        selection.format = format;
        selections << selection;
    };
    QTextCharFormat marked;
    marked.setFontUnderline(true);
    marked.setFontWeight(QFont::Bold);
    for (const int index : mMarkedWords) {
        select(index, marked);
    }
    if (mSpokenWord >= 0) {
        QTextCharFormat spoken;
        spoken.setBackground(palette().highlight());
        spoken.setForeground(palette().highlightedText());
        select(mSpokenWord, spoken);
    }
    setExtraSelections(selections);
}

int TranscriptPane::WordAt(const QPoint& viewportPoint) const {
    const int position = cursorForPosition(viewportPoint).position();
    for (std::size_t i = 0; i < mWordSpans.size(); ++i) {
        const auto [start, length] = mWordSpans[i];
        if (position >= start && position <= start + length) {
            // The cursor lands between characters: make sure the point is on the word itself.
            const QRect rect = WordRect(static_cast<int>(i));
            if (rect.adjusted(-1, 0, 1, 0).contains(viewportPoint)) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

QRect TranscriptPane::WordRect(int index) const {
    if (index < 0 || index >= static_cast<int>(mWordSpans.size())) {
        return {};
    }
    const auto [start, length] = mWordSpans[static_cast<std::size_t>(index)];
    QTextCursor cursor(document());
    cursor.setPosition(start);
    const QRect first = cursorRect(cursor);
    cursor.setPosition(start + length);
    const QRect last = cursorRect(cursor);
    if (last.top() != first.top()) {
        // Wrapped at its end: the word runs from its start to the line's end.
        return QRect(first.topLeft(), QPoint(viewport()->width(), first.bottom()));
    }
    return QRect(first.topLeft(), QPoint(last.left(), first.bottom()));
}

void TranscriptPane::CopyTranscript() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(TranscriptText());
    }
}

void TranscriptPane::mousePressEvent(QMouseEvent* event) {
    mPressed = event->button() == Qt::LeftButton;
    mPressedAt = event->position().toPoint();
    QPlainTextEdit::mousePressEvent(event);
}

void TranscriptPane::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    // A click, not the end of a selection drawn with the mouse.
    const QPoint at = event->position().toPoint();
    if (!mPressed || event->button() != Qt::LeftButton || (at - mPressedAt).manhattanLength() > 4) {
        mPressed = false;
        return;
    }
    mPressed = false;
    const int word = WordAt(at);
    if (word >= 0) {
        emit PlayFrom(
            std::max<std::int64_t>(0, mWords[static_cast<std::size_t>(word)].StartMs - LeadInMs));
    }
}

void TranscriptPane::contextMenuEvent(QContextMenuEvent* event) {
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    menu->addSeparator();
    menu->addAction(&mCopyAction);
    menu->exec(event->globalPos());
}

} // namespace tellamo
