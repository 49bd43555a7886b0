#include "editor/EditorServices.h"

#include "docs/views/PlainMessageBox.h"
#include "docs/views/QtText.h"
#include "library/Alert.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
        showPlainText(box);
        for (const auto& title : alert.buttonTitles)
            box.addButton(qtString(title), QMessageBox::AcceptRole);
        box.exec();
    }
};

/// The Qt file dialogs. Both start in the folder used last in this session, at first in
/// the user's home folder.
class QtFileDialogs final : public FileDialogs {
public:
    QString chooseExportFile(QWidget* parent, const QString& proposedName) override
    {
        QFileDialog dialog(parent, QObject::tr("Export Bundle"), startFolder(), bundleFileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("qlbundle"));
        dialog.selectFile(QDir(startFolder()).filePath(proposedName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QString chosen = dialog.selectedFiles().front();
        m_lastFolder = QFileInfo(chosen).absolutePath();
        return chosen;
    }

    QStringList chooseImportFiles(QWidget* parent) override
    {
        const QStringList chosen
            = QFileDialog::getOpenFileNames(parent, QObject::tr("Import Bundles"), startFolder(), bundleFileFilter);
        if (!chosen.isEmpty())
            m_lastFolder = QFileInfo(chosen.front()).absolutePath();
        return chosen;
    }

private:
    QString startFolder() const
    {
        return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir() ? m_lastFolder : QDir::homePath();
    }

    QString m_lastFolder;
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
