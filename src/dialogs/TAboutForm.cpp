#include "dialogs/TAboutForm.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "common/Translate.h"
#include "dialogs/FormStorage.h"

namespace tellamo {

namespace {
QLabel* LinkLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    // The desktop's colour for links, which its palette keeps readable on the window's colour
    // (a high-contrast palette too).
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::Link));
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}
} // namespace

TAboutForm::TAboutForm(const QIcon& icon, QString mail, QString web, QString settingsFile,
                       QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(TranslateText("About"));
    IcoImage = new QLabel(this);
    IcoImage->setObjectName(QStringLiteral("IcoImage"));
    IcoImage->setPixmap(icon.pixmap(48, 48));
    IcoImage->setFixedSize(48, 48);
    ProgramNameLabel = new QLabel(TranslateText("Tellamo"), this);
    ProgramNameLabel->setObjectName(QStringLiteral("ProgramNameLabel"));
    // Two and a half times the desktop's text (30 pixels at its usual size), so that large
    // text makes it larger too.
    QFont nameFont = ProgramNameLabel->font();
    nameFont.setFamily(QStringLiteral("Times New Roman"));
    nameFont.setStyleHint(QFont::Serif);
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2.5);
    ProgramNameLabel->setFont(nameFont);
    VersionLabel =
        new QLabel(TranslateText("Version") + " " + QStringLiteral(TELLAMO_VERSION), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    LicenceLabel = new QLabel(
        TranslateText("Free software under the GNU General Public License, version 3 or later") +
            QStringLiteral(" (GPL-3.0-or-later)"),
        this);
    LicenceLabel->setObjectName(QStringLiteral("LicenceLabel"));
    LicenceLabel->setWordWrap(true);
    ContactUsLabel = new QLabel(TranslateText("Contact us:"), this);
    ContactUsLabel->setObjectName(QStringLiteral("ContactUsLabel"));
    MailLabel = LinkLabel("MailLabel", mail, this);
    WebLabel = LinkLabel("WebLabel", web, this);
    MailLabel->installEventFilter(this);
    WebLabel->installEventFilter(this);
    OKBitBtn = new QPushButton(TranslateText("OK"), this);
    OKBitBtn->setObjectName(QStringLiteral("OKBitBtn"));
    OKBitBtn->setDefault(true);
    connect(OKBitBtn, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(IcoImage, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(ProgramNameLabel, 0, 1, 1, 2);
    layout->addWidget(VersionLabel, 1, 1, 1, 2);
    layout->addWidget(LicenceLabel, 2, 1, 1, 2);
    layout->addWidget(ContactUsLabel, 3, 1);
    layout->addWidget(MailLabel, 3, 2);
    layout->addWidget(WebLabel, 4, 1, 1, 2);
    layout->addWidget(OKBitBtn, 5, 2, Qt::AlignRight);
    // No address is shown that leads nowhere.
    ContactUsLabel->setVisible(!mail.isEmpty());
    MailLabel->setVisible(!mail.isEmpty());
    WebLabel->setVisible(!web.isEmpty());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    mFormPlacement =
        std::make_unique<FormStorage>(this, QStringLiteral("TAboutForm"), std::move(settingsFile));
}

TAboutForm::~TAboutForm() {
    if (!mSavedSinceShown) {
        mFormPlacement->Save(true);
    }
}

void TAboutForm::MailLabelClick() {
    const QString text = MailLabel->text();
    QDesktopServices::openUrl(text.contains('@') ? QUrl(QStringLiteral("mailto:") + text)
                                                 : QUrl(text));
}

void TAboutForm::WebLabelClick() {
    // A local file is shown as its path.
    QDesktopServices::openUrl(QUrl::fromUserInput(WebLabel->text()));
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == MailLabel) {
            MailLabelClick();
        } else if (watched == WebLabel) {
            WebLabelClick();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::keyPressEvent(QKeyEvent* event) {
    // The box has no cancel button: Esc closes it as its one button does, the way every other
    // dialog of the program closes by the keyboard.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutForm::showEvent(QShowEvent* event) {
    mFormPlacement->Restore();
    mSavedSinceShown = false;
    QDialog::showEvent(event);
}

void TAboutForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    mFormPlacement->Save();
    mSavedSinceShown = true;
}

} // namespace tellamo
