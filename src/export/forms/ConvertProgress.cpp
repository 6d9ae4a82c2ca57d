#include "export/forms/ConvertProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QTimer>

#include "common/Translate.h"
#include "export/BackgroundWork.h"

namespace tellamo {

bool RunWithProgress(QWidget* parent, const QString& caption, const QString& text,
                     std::function<void(const WorkProgress&)> work) {
    QProgressDialog dialog(text, TranslateText("Cancel"), 0, 1000, parent);
    dialog.setObjectName(QStringLiteral("ConvertProgressDialog"));
    dialog.setWindowTitle(caption);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(ProgressDialogDelayMs);
    dialog.setValue(0);

    QObject waker;
    BackgroundWork job(std::move(work), [&waker] {
        // Any posted event wakes the loop below.
        QMetaObject::invokeMethod(
            &waker, [] {}, Qt::QueuedConnection);
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, [&job] { job.Cancel(); });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &dialog, [&] {
        if (!dialog.wasCanceled()) {
            dialog.setValue(static_cast<int>(job.Fraction() * 1000));
        }
    });
    ticker.start(50);
    while (!job.Done()) {
        // Until the modal dialog is up, user input waits in the queue instead of reaching the
        // window behind it.
        QEventLoop::ProcessEventsFlags flags = QEventLoop::WaitForMoreEvents;
        if (!dialog.isVisible()) {
            flags |= QEventLoop::ExcludeUserInputEvents;
        }
        QCoreApplication::processEvents(flags);
    }
    ticker.stop();
    return job.Finish();
}

} // namespace tellamo
