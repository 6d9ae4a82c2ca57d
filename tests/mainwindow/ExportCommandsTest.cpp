// Save As and Send by e-mail on the main window, with Qt's own file dialog driven by keys, the
// real converter, FFmpeg as the judge of the files written and a stand-in xdg-email.

#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "MainWindowFixture.h"
#include "export/ExportTestSupport.h"
#include "export/MailSender.h"
#include "export/forms/TSaveFormatForm.h"
#include "support/ChildProcess.h"

namespace tellamo::test {
namespace {

class Export : public MainWindowFixture {
protected:
    Export() {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
        mForm.SetSaveFormatForm(&mSaveFormat);
        mForm.SetMailSender(&mMail);
    }
    ~Export() override { delete mAnswers; }

    // A note with a real WAV file: a voice-like sound of the given length at 11025 Hz, 16-bit.
    NoteRecord* Note(const std::string& name, const char* description, double seconds = 2.0) {
        const std::string bytes = PcmWavBytes(1, 11025, 16, Pcm16Bytes(VoiceLike(11025, seconds)));
        WriteFileBytes(Folder() + name + ".wav", bytes);
        NoteRecord* note = mCat.AddFoundNote(mCat.NotesNode(), name, 0, 11025, 16);
        mCat.CompleteNote(static_cast<std::int32_t>(bytes.size() / 1024),
                          static_cast<std::int64_t>(seconds * 1000));
        note->Description = description;
        EXPECT_EQ(mCat.Notes().Current(), note);
        mForm.ActionListUpdate();
        return note;
    }

    // Runs answer on the next modal window of type T as soon as it is up (polled).
    template <class T> void WhenModal(std::function<void(T*)> answer) {
        auto* timer = new QTimer(mAnswers);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
            if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->stop();
                answer(window);
                timer->deleteLater();
            }
        });
        timer->start(10);
    }
    // The file dialog: checks what it proposes, then types the path and presses Enter (or
    // cancels when path is empty).
    void AnswerFileDialog(const QString& path, QString* proposed = nullptr,
                          QString* filter = nullptr) {
        WhenModal<QFileDialog>([=](QFileDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            if (proposed) {
                *proposed = edit->text();
            }
            if (filter) {
                *filter = dialog->selectedNameFilter();
            }
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            // Set rather than typed: typing opens the name completer, which takes the Enter key.
            edit->setText(path);
            QTest::keyClick(edit, Qt::Key_Return);
        });
    }
    // The format dialog: picks the item and presses OK (or Cancel for -1).
    void AnswerFormat(int index, std::function<void()> whenShown = {}) {
        WhenModal<TSaveFormatForm>([=, this](TSaveFormatForm* form) {
            ++mFormatShown;
            if (whenShown) {
                whenShown();
            }
            if (index < 0) {
                form->CancelBitBtn->click();
                return;
            }
            form->FileFormatItems[index]->click();
            form->OKBitBtn->click();
        });
    }
    void SaveAs() { mForm.Actions().SaveAsFileAction->trigger(); }

    QObject* mAnswers = new QObject;
    TSaveFormatForm mSaveFormat{mForm.Actions().AskFormatAction, mCat.Files().SettingsFilePath()};
    XdgEmailSender mMail;
    TempDir mTarget;
    int mFormatShown = 0;
};

TEST_F(Export, ProposesTheDescriptionWithoutTheSevenBadCharacters) {
    EXPECT_EQ(TTellamoMainForm::ReplaceBadChars("Call <Bob> [urgent]"), "Call _Bob_ _urgent_");
    EXPECT_EQ(TTellamoMainForm::ReplaceBadChars("a/b:c*?"), "a/b:c*?");
    EXPECT_EQ(TTellamoMainForm::ReplaceBadChars("\"q\" | back\\slash"), "_q_ _ back_slash");
    EXPECT_EQ(TTellamoMainForm::ReplaceBadChars(""), "");

    mForm.SetLastSaveDir(QString::fromStdString(mTarget.Path()) + "/");
    for (const char* description : {"Call <Bob> [urgent]", ""}) {
        Note(description[0] ? "000001" : "000002", description);
        QString proposed = "unset";
        AnswerFileDialog("", &proposed);
        SaveAs();
        EXPECT_EQ(proposed, TTellamoMainForm::ReplaceBadChars(description));
    }
    EXPECT_EQ(mFormatShown, 0);
    EXPECT_TRUE(FilesIn(mTarget.Path()).empty());
    EXPECT_EQ(mForm.LastSaveDir(), QString::fromStdString(mTarget.Path()) + "/");
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// PCM is the note's file byte for byte; the folder is remembered; cancelling the format
// question writes nothing and keeps the remembered folder.
TEST_F(Export, SavesPcmExactlyAndCancelWritesNothing) {
    Note("000001", "Call Bob");
    const QString target = QString::fromStdString(mTarget.File("bob.wav"));
    AnswerFileDialog(target);
    AnswerFormat(-1);
    SaveAs();
    EXPECT_EQ(mFormatShown, 1);
    EXPECT_TRUE(FilesIn(mTarget.Path()).empty());
    EXPECT_EQ(mForm.LastSaveDir(), "");

    AnswerFileDialog(target);
    AnswerFormat(TSaveFormatForm::PcmIndex);
    SaveAs();
    EXPECT_EQ(ReadFileBytes(mTarget.File("bob.wav")), ReadFileBytes(Folder() + "000001.wav"));
    EXPECT_EQ(mForm.LastSaveDir(), QString::fromStdString(mTarget.Path()) + "/");
    EXPECT_EQ(FilesIn(mTarget.Path()), std::vector<std::string>{"bob.wav"});
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// TrueSpeech and Ogg Opus files that FFmpeg reads back at the note's length; a name typed with
// ".wav" becomes ".opus" for Opus, and a format known before the file dialog sets its filter.
TEST_F(Export, SavesTrueSpeechAndOpusThatFfmpegReads) {
    Note("000001", "Call Bob", 3.0);
    TempDir work;
    AnswerFileDialog(QString::fromStdString(mTarget.File("ts")));
    AnswerFormat(TSaveFormatForm::TrueSpeechIndex);
    SaveAs();
    const FfmpegDecoding ts = DecodeWithFfmpeg(mTarget.File("ts.wav"), work.Path());
    ASSERT_EQ(ts.ExitStatus, 0) << ts.Messages;
    EXPECT_NEAR(static_cast<double>(ts.Samples.size()) / 8000, 3.0, 0.1);

    AnswerFileDialog(QString::fromStdString(mTarget.File("call.wav")));
    AnswerFormat(TSaveFormatForm::OpusIndex);
    SaveAs();
    EXPECT_NEAR(FfprobeDuration(mTarget.File("call.opus"), work.Path()), 3.0, 0.1);
    const FfmpegDecoding opus = DecodeWithFfmpeg(mTarget.File("call.opus"), work.Path());
    ASSERT_EQ(opus.ExitStatus, 0) << opus.Messages;
    EXPECT_EQ(FilesIn(mTarget.Path()), (std::vector<std::string>{"call.opus", "ts.wav"}));

    // Not asked: the choice (Opus, kept from above) is known before the file dialog.
    mForm.Actions().AskFormatAction->setChecked(false);
    QString filter;
    AnswerFileDialog(QString::fromStdString(mTarget.File("later")), nullptr, &filter);
    SaveAs();
    EXPECT_EQ(filter, "Ogg Opus files (*.opus)");
    EXPECT_NEAR(FfprobeDuration(mTarget.File("later.opus"), work.Path()), 3.0, 0.1);
    EXPECT_EQ(mFormatShown, 2);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// A note whose sound file is gone: the existing file the user chose stays as it was and the
// error is shown. A target inside the storage folder is refused before anything is asked.
TEST_F(Export, FailuresKeepTheExistingFileAndSayWhy) {
    Note("000001", "Call Bob");
    const std::string noteBytes = ReadFileBytes(Folder() + "000001.wav");
    WriteFileBytes(mTarget.File("old.wav"), "the user's old file");
    std::filesystem::remove(Folder() + "000001.wav");
    AnswerFileDialog(QString::fromStdString(mTarget.File("old.wav")));
    WhenModal<QMessageBox>([](QMessageBox* box) { // the file dialog's own "replace?" question
        box->button(QMessageBox::Yes)->click();
    });
    AnswerFormat(TSaveFormatForm::PcmIndex);
    SaveAs();
    EXPECT_EQ(ReadFileBytes(mTarget.File("old.wav")), "the user's old file");
    EXPECT_EQ(FilesIn(mTarget.Path()), std::vector<std::string>{"old.wav"});
    ASSERT_EQ(mMessages.size(), 1);
    EXPECT_TRUE(mMessages[0].contains("000001.wav")) << mMessages[0].toStdString();

    WriteFileBytes(Folder() + "000001.wav", noteBytes);
    mMessages.clear();
    for (const std::string& inside :
         {Folder() + "000001.wav", Folder() + "000001.bmp", Folder() + "x.wav"}) {
        if (FileExists(inside)) {
            WhenModal<QMessageBox>(
                [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        }
        AnswerFileDialog(QString::fromStdString(inside));
        SaveAs();
    }
    EXPECT_EQ(mFormatShown, 1);
    EXPECT_EQ(mMessages.size(), 3);
    EXPECT_TRUE(mMessages.value(0).contains("storage folder")) << mMessages.value(0).toStdString();
    EXPECT_EQ(ReadFileBytes(Folder() + "000001.wav"), noteBytes);
    EXPECT_FALSE(FileExists(Folder() + "x.wav"));
}

// A long conversion shows its progress; Cancel stops it, and the old file stays with no partial
// file beside it.
TEST_F(Export, CancelInTheProgressDialogLeavesTheOldFile) {
    Note("000001", "Long", 600);
    WriteFileBytes(mTarget.File("long.opus"), "old");
    AnswerFileDialog(QString::fromStdString(mTarget.File("long.opus")));
    WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    AnswerFormat(TSaveFormatForm::OpusIndex);
    bool progressShown = false;
    WhenModal<QProgressDialog>([&](QProgressDialog* progress) {
        progressShown = true;
        EXPECT_EQ(progress->windowTitle(), "Save As");
        progress->findChild<QPushButton*>()->click();
    });
    SaveAs();
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(ReadFileBytes(mTarget.File("long.opus")), "old");
    EXPECT_EQ(FilesIn(mTarget.Path()), std::vector<std::string>{"long.opus"});
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// Send by e-mail through a stand-in xdg-email first on the PATH, which keeps its arguments.
class Mailing : public Export {
protected:
    Mailing() {
        mOldPath = qgetenv("PATH");
        const std::string script = mBin.File("xdg-email");
        WriteFileBytes(script, "#!/bin/sh\n"
                               "f=$(mktemp \"$TELLAMO_MAIL_LOG/call.XXXXXX\")\n"
                               "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$f\"\n"
                               "mv \"$f\" \"$f.args\"\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        qputenv("PATH", QByteArray::fromStdString(mBin.Path()) + ":" + mOldPath);
        qputenv("TELLAMO_MAIL_LOG", QByteArray::fromStdString(mLog.Path()));
    }
    ~Mailing() override {
        qputenv("PATH", mOldPath);
        qunsetenv("TELLAMO_MAIL_LOG");
    }
    // The arguments of the n-th call (waits for it).
    std::vector<std::string> Call(std::size_t n) {
        std::vector<std::string> calls;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                calls.clear();
                for (const std::string& name : FilesIn(mLog.Path())) {
                    if (name.ends_with(".args")) {
                        calls.push_back(name);
                    }
                }
                return calls.size() > n;
            },
            20000));
        if (calls.size() <= n) {
            return {};
        }
        std::sort(calls.begin(), calls.end(), [&](const std::string& a, const std::string& b) {
            return std::filesystem::last_write_time(mLog.File(a)) <
                   std::filesystem::last_write_time(mLog.File(b));
        });
        std::vector<std::string> args;
        const std::string bytes = ReadFileBytes(mLog.File(calls[n]));
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find('\0', start)) != std::string::npos;
             start = end + 1) {
            args.push_back(bytes.substr(start, end - start));
        }
        return args;
    }
    void Send() { mForm.Actions().SendByEMailAction->trigger(); }

    TempDir mBin;
    TempDir mLog;
    QByteArray mOldPath;
};

TEST_F(Mailing, CopiesAreMadeAfterTheChoiceOnlyOfTheChosenFormatAndReused) {
    Note("123456", "Call Bob");
    const std::string trueSpeech = Folder() + "123456p.wav";
    const std::string opus = Folder() + "123456o.opus";
    TempDir work;

    // Neither a cancelled question nor the sound as it is leaves a copy behind.
    AnswerFormat(-1);
    Send();
    AnswerFormat(TSaveFormatForm::PcmIndex);
    Send();
    EXPECT_EQ(Call(0), (std::vector<std::string>{"--subject", "Call Bob", "--attach",
                                                 Folder() + "123456.wav"}));
    EXPECT_FALSE(FileExists(trueSpeech));
    EXPECT_FALSE(FileExists(opus));
    AnswerFormat(TSaveFormatForm::OpusIndex);
    Send();
    EXPECT_EQ(Call(1), (std::vector<std::string>{"--subject", "Call Bob", "--attach", opus}));
    EXPECT_NEAR(FfprobeDuration(opus, work.Path()), 2.0, 0.1);
    EXPECT_FALSE(FileExists(trueSpeech)) << "a TrueSpeech copy nobody asked for";

    AnswerFormat(TSaveFormatForm::TrueSpeechIndex);
    Send();
    EXPECT_EQ(Call(2), (std::vector<std::string>{"--subject", "Call Bob", "--attach", trueSpeech}));
    const FfmpegDecoding decoded = DecodeWithFfmpeg(trueSpeech, work.Path());
    EXPECT_EQ(decoded.ExitStatus, 0) << decoded.Messages;

    // A copy made from the note's current sound is sent again as it is.
    const auto trueSpeechMade = std::filesystem::last_write_time(trueSpeech);
    const auto opusMade = std::filesystem::last_write_time(opus);
    AnswerFormat(TSaveFormatForm::TrueSpeechIndex);
    Send();
    AnswerFormat(TSaveFormatForm::OpusIndex);
    Send();
    EXPECT_EQ(Call(3), (std::vector<std::string>{"--subject", "Call Bob", "--attach", trueSpeech}));
    EXPECT_EQ(Call(4), (std::vector<std::string>{"--subject", "Call Bob", "--attach", opus}));
    EXPECT_EQ(std::filesystem::last_write_time(trueSpeech), trueSpeechMade);
    EXPECT_EQ(std::filesystem::last_write_time(opus), opusMade);
    EXPECT_EQ(FilesIn(mLog.Path()).size(), 5u);
    EXPECT_EQ(mFormatShown, 6);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// What stands at a copy's name may come from anyone who can write to the storage folder, or from
// a deleted note that had the same number: only a copy this program made from this note's
// current sound is sent, anything else is made again without touching what it pointed at.
TEST_F(Mailing, ACopyNotMadeFromTheNotesCurrentSoundIsMadeAgain) {
    TempDir outside;
    const std::string secret = outside.File("id_ed25519");
    const struct {
        const char* What;
        int Format;
        std::function<void(const std::string& copy, const std::string& wav)> Plant;
    } cases[] = {
        {"a link to a private file", TSaveFormatForm::TrueSpeechIndex,
         [&](const std::string& copy, const std::string&) {
             std::filesystem::create_symlink(secret, copy);
         }},
        {"a link pointing nowhere", TSaveFormatForm::OpusIndex,
         [&](const std::string& copy, const std::string&) {
             std::filesystem::create_symlink(outside.File("made-through-link"), copy);
         }},
        {"not the expected format", TSaveFormatForm::TrueSpeechIndex,
         [](const std::string& copy, const std::string&) { WriteFileBytes(copy, "planted"); }},
        {"an Opus file at the TrueSpeech name", TSaveFormatForm::TrueSpeechIndex,
         [](const std::string& copy, const std::string&) {
             WriteFileBytes(copy, std::string("OggS") + std::string(24, '\0') + "OpusHead" +
                                      std::string(64, '\0'));
         }},
        {"a deleted note's copy, older than the WAV", TSaveFormatForm::OpusIndex,
         [](const std::string& copy, const std::string& wav) {
             WriteFileBytes(copy, std::string("OggS") + std::string(24, '\0') + "OpusHead" +
                                      std::string(64, '\0'));
             std::filesystem::last_write_time(copy, std::filesystem::last_write_time(wav) -
                                                        std::chrono::hours(1));
         }},
    };
    int number = 100000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        WriteFileBytes(secret, "private key");
        const std::string name = std::to_string(++number);
        Note(name, "Call Bob");
        const bool isOpus = c.Format == TSaveFormatForm::OpusIndex;
        const std::string copy = Folder() + name + (isOpus ? "o.opus" : "p.wav");
        c.Plant(copy, Folder() + name + ".wav");
        AnswerFormat(c.Format);
        Send();
        EXPECT_EQ(Call(static_cast<std::size_t>(number - 100001)),
                  (std::vector<std::string>{"--subject", "Call Bob", "--attach", copy}));
        EXPECT_FALSE(std::filesystem::is_symlink(copy));
        TempDir work;
        if (isOpus) {
            EXPECT_NEAR(FfprobeDuration(copy, work.Path()), 2.0, 0.1);
        } else {
            const FfmpegDecoding decoded = DecodeWithFfmpeg(copy, work.Path());
            EXPECT_EQ(decoded.ExitStatus, 0) << decoded.Messages;
        }
        EXPECT_EQ(ReadFileBytes(secret), "private key");
        EXPECT_EQ(FilesIn(outside.Path()), std::vector<std::string>{"id_ed25519"});
    }
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(Mailing, AnyDescriptionArrivesAsOneLiteralSubject) {
    const std::string marker = mLog.File("shell-ran");
    const std::string hostile =
        "-x \"quoted\" 'single' $(touch " + marker + "); `touch " + marker + "` & | > <";
    Note("123456", hostile.c_str());
    mForm.Actions().AskFormatAction->setChecked(false);
    mSaveFormat.SetItemIndex(TSaveFormatForm::PcmIndex);
    Send();
    EXPECT_EQ(Call(0), (std::vector<std::string>{"--subject", hostile, "--attach",
                                                 Folder() + "123456.wav"}));
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(mFormatShown, 0);
}

TEST_F(Mailing, WithoutXdgEmailNothingHappens) {
    qputenv("PATH", QByteArray::fromStdString(mLog.Path()));
    EXPECT_EQ(mMail.SendMail({}, "s", "", {"/tmp/x.wav"}), 1);
    Note("123456", "Call Bob");
    AnswerFormat(TSaveFormatForm::PcmIndex);
    Send();
    EXPECT_EQ(mFormatShown, 1);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
    EXPECT_TRUE(FilesIn(mLog.Path()).empty());
}

// The recorder completes the note's header only now and then: until Stop, neither a saved copy
// nor a mailed one would be the sound the user hears later. Refused with the reason before any
// dialog, and no copy is written.
TEST_F(Mailing, TheNoteBeingRecordedIsNotPassedOn) {
    mForm.Actions().AskDescriptionAction->setChecked(false);
    mForm.Options().SampleRate = 8000;
    mForm.Options().SixteenBit = false;
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording) << mMessages.join("\n").toStdString();
    const std::string buffer(800, '\xF0');
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(mPort.CompleteInput(buffer.data(), buffer.size()));
        mPoster.ProcessPending();
    }
    const auto files = FilesIn(Folder());
    // Should a dialog come up all the same, it is cancelled rather than left waiting.
    for (int i = 0; i < 2; ++i) {
        WhenModal<QDialog>([](QDialog* dialog) { dialog->reject(); });
    }

    SaveAs();
    Send();
    ASSERT_EQ(mMessages.size(), 2) << mMessages.join("\n").toStdString();
    for (const QString& message : mMessages) {
        EXPECT_TRUE(message.contains("still being recorded")) << message.toStdString();
    }
    EXPECT_EQ(FilesIn(Folder()), files);
    EXPECT_EQ(mFormatShown, 0);
    EXPECT_TRUE(FilesIn(mLog.Path()).empty());

    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
}

TEST(MailArguments, CommaListsAndArgumentOrder) {
    EXPECT_EQ(SplitCommaList(""), QStringList());
    EXPECT_EQ(SplitCommaList("a.wav,b.wav"), (QStringList{"a.wav", "b.wav"}));
    EXPECT_EQ(SplitCommaList("a.wav,"), QStringList{"a.wav"});
    EXPECT_EQ(SplitCommaList(" a , ,b"), (QStringList{" a ", " ", "b"}));
    EXPECT_EQ(XdgEmailSender::Arguments({"bob@example.org", "", "-evil"}, "S", "Body",
                                        {"a.wav", "", "b.wav"}),
              (QStringList{"--subject", "S", "--body", "Body", "--attach", "a.wav", "--attach",
                           "b.wav", "bob@example.org"}));
    EXPECT_EQ(XdgEmailSender::Arguments({}, "", "", {}), (QStringList{"--subject", ""}));
}

} // namespace
} // namespace tellamo::test
