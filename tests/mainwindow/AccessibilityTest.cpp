// The window as assistive technology and low vision meet it: the names a screen reader reads
// (with the values and the state in them), and the window with large text and a high-contrast
// palette. Screenshots of the latter are left in the test's folder for people to look at.

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include "MainWindowFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo::test {
namespace {

QString AccessibleName(QObject& object) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&object);
    return face ? face->text(QAccessible::Name) : QStringLiteral("(no interface)");
}

// The window with one loud note of two seconds, "a tone", current.
class Names : public MainWindowFixture {
protected:
    Names() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
        const auto header = MakeWaveHeader(1, 8000, 8);
        std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
        wav += std::string(16000, '\xF0');
        PutU32(reinterpret_cast<unsigned char*>(wav.data() + 40), 16000);
        WriteFileBytes(Folder() + "tone.wav", wav);
        NoteRecord* note = mCat.AddFoundNote(mCat.NotesNode(), "tone", 16, 8000, 8);
        mCat.CompleteNote(16, 2000);
        note->Description = "a tone";
        mCat.SelectFolder(mCat.NotesNode());
        mCat.Notes().SetCurrent(note);
        mForm.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&mForm));
        mForm.ActionListUpdate();
        QApplication::processEvents();
        mForm.ActionListUpdate();
    }
    std::string Name(const char* objectName) {
        return AccessibleName(NamedChild<QObject>(mForm, objectName)).toStdString();
    }
};

TEST_F(Names, EachControlIsNamedWithItsValueAndTheDictaphonesState) {
    NamedChild<QSlider>(mForm, "VolumeRxSlider").setValue(80);
    const std::pair<const char*, const char*> idle[] = {
        {"VolumeRxSlider", "Volume 80 %"},
        {"SilenceRxSlider", "Noise level 10 %"},
        {"PositionRxSlider", "Position 0:00:00"},
        {"TimeLabel", "Stopped, 0:00:00 of 0:00:02"},
        {"GraphImage", "Level graph of the note, 0:00:02"},
        {"TreeView", "Folders"},
        {"RxDBGrid", "Notes"},
        {"FilterEdit", "Text of the filter"},
        {"SpeedSpinBox", "Playback speed"},
        {"TranscriptPane", "Transcript"},
    };
    for (const auto& [object, name] : idle) {
        EXPECT_EQ(Name(object), name) << object;
    }
    // A row reads as when, how long, what, whichever of its cells has the focus.
    auto& list = NamedChild<QTableView>(mForm, "RxDBGrid");
    for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
        const QString row = list.model()->index(0, column).data(Qt::AccessibleTextRole).toString();
        EXPECT_TRUE(row.endsWith(", 0:00:02, a tone")) << row.toStdString();
        EXPECT_EQ(row.section(", ", 0, 0), list.model()->index(0, 1).data().toString());
    }

    // The state reaches the label's name: playing, paused, recording.
    mForm.DictaphonePart().PlayActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
    EXPECT_EQ(Name("TimeLabel").substr(0, 9), "Playing, ");
    mForm.DictaphonePart().PauseActionExecute();
    EXPECT_EQ(Name("TimeLabel").substr(0, 8), "Paused, ");
    NamedChild<QSlider>(mForm, "PositionRxSlider").setValue(1000);
    EXPECT_EQ(Name("PositionRxSlider"), "Position 0:00:01");
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(Name("TimeLabel"), "Stopped, 0:00:00 of 0:00:02");
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    EXPECT_EQ(Name("TimeLabel").substr(0, 11), "Recording, ");
    EXPECT_EQ(Name("GraphPanel"), "Level graph of the recording");
    mForm.DictaphonePart().StopActionExecute();
}

// Large text (twice the usual) and a high-contrast palette, set on the desktop before the
// program starts.
struct DesktopLook {
    DesktopLook() {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * 2);
        QApplication::setFont(font);
        QPalette contrast;
        contrast.setColor(QPalette::Window, Qt::black);
        contrast.setColor(QPalette::WindowText, Qt::white);
        contrast.setColor(QPalette::Base, Qt::black);
        contrast.setColor(QPalette::Text, Qt::white);
        contrast.setColor(QPalette::Button, Qt::black);
        contrast.setColor(QPalette::ButtonText, Qt::white);
        contrast.setColor(QPalette::Highlight, Qt::yellow);
        contrast.setColor(QPalette::HighlightedText, Qt::black);
        contrast.setColor(QPalette::Link, Qt::cyan);
        QApplication::setPalette(contrast);
    }
    ~DesktopLook() {
        QApplication::setFont(Font);
        QApplication::setPalette(Palette);
    }
    QFont Font = QApplication::font();
    QPalette Palette = QApplication::palette();
};

class LargeTextHighContrast : private DesktopLook, public Names {};

TEST_F(LargeTextHighContrast, TheTimeTheFilterAndTheRowsKeepTheirText) {
    mForm.resize(900, 500);
    QApplication::processEvents();
    ASSERT_TRUE(mForm.grab().save("large-text-high-contrast.png"));
    auto& label = NamedChild<QLabel>(mForm, "TimeLabel");
    EXPECT_GE(label.font().pointSizeF(), QApplication::font().pointSizeF()) << "the text is large";
    EXPECT_GE(label.contentsRect().width(),
              label.fontMetrics().horizontalAdvance(QStringLiteral("0:00:00|0:00:00")))
        << "the time is not cut";
    EXPECT_GE(label.height(), label.fontMetrics().height());
    auto& filter = NamedChild<QLineEdit>(mForm, "FilterEdit");
    EXPECT_GE(filter.width(), filter.fontMetrics().averageCharWidth() * 15);
    auto& list = NamedChild<QTableView>(mForm, "RxDBGrid");
    EXPECT_GE(list.rowHeight(0), list.fontMetrics().height());
    auto& tree = NamedChild<QTreeView>(mForm, "TreeView");
    const QRect bin = tree.visualRect(mCat.Folders().IndexOf(mCat.RecycleBinNode()));
    EXPECT_LE(bin.left() + tree.iconSize().width() + 8 +
                  tree.fontMetrics().horizontalAdvance(QStringLiteral("Recycle Bin")),
              tree.viewport()->width())
        << "the folder's name is not cut";
    // The label's text is drawn in the palette's colours: white on black, nothing of its own.
    const QImage time = label.grab().toImage();
    int light = 0, dark = 0;
    for (int y = 0; y < time.height(); ++y) {
        for (int x = 0; x < time.width(); ++x) {
            const int grey = qGray(time.pixel(x, y));
            light += grey > 200;
            dark += grey < 55;
        }
    }
    EXPECT_GT(light, 20) << "white text";
    EXPECT_GT(dark, time.width() * time.height() / 2) << "on black";
}

} // namespace
} // namespace tellamo::test
