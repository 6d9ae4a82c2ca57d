#pragma once

#include <memory>

#include <QDialog>

class QLabel;
class QPushButton;

namespace tellamo {

class FormStorage;

// The about box: the program's icon, name, version and licence, the manual as a link and a mail
// address to contact. One instance for the run, shown modally; its place is kept in the settings
// file.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    // mail: the address of "Contact us:", whose line is left out when it is empty; web: the
    // address of the second link (the manual), left out when empty.
    TAboutForm(const QIcon& icon, QString mail, QString web, QString settingsFile,
               QWidget* parent = nullptr);
    ~TAboutForm() override;

    QLabel* IcoImage = nullptr;
    QLabel* ProgramNameLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* LicenceLabel = nullptr;
    QLabel* ContactUsLabel = nullptr;
    QLabel* MailLabel = nullptr;
    QLabel* WebLabel = nullptr;
    QPushButton* OKBitBtn = nullptr;

    void MailLabelClick();
    void WebLabelClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<FormStorage> mFormPlacement;
    bool mSavedSinceShown = true;
};

} // namespace tellamo
