#include "editor/EditorServices.h"

#include "editor/QtText.h"
#include "library/Alert.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace quillet {

namespace {

const QString bundleFileFilter = QStringLiteral("Quillet bundles (*.qlbundle)");

class MessageBoxAlerts final : public UserAlerts {
public:
    void runModal(const Alert& alert) override
    {
        QMessageBox box(QMessageBox::Warning, QString(), qtString(alert.messageText), QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setInformativeText(qtString(alert.informativeText));
        for (const auto& title : alert.buttonTitles)
            box.addButton(qtString(title), QMessageBox::AcceptRole);
        box.exec();
    }
};

class QtFileDialogs final : public FileDialogs {
public:
    QString chooseExportFile(QWidget* parent, const QString& proposedName) override
    {
        QFileDialog dialog(parent, QObject::tr("Export Bundle"), QString(), bundleFileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("qlbundle"));
        dialog.selectFile(proposedName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().front();
    }

    QStringList chooseImportFiles(QWidget* parent) override
    {
        return QFileDialog::getOpenFileNames(parent, QObject::tr("Import Bundles"), QString(), bundleFileFilter);
    }
};

} // namespace

EditorServices EditorServices::completed() const
{
    EditorServices services = *this;
    if (!services.alerts)
        services.alerts = std::make_shared<MessageBoxAlerts>();
    if (!services.fileDialogs)
        services.fileDialogs = std::make_shared<QtFileDialogs>();
    if (!services.urlOpener)
        services.urlOpener = std::make_shared<DesktopUrlOpener>();
    return services;
}

} // namespace quillet
