#pragma once

#include "docs/views/UrlOpener.h"
#include "library/UserAlerts.h"

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace quillet {

/// The file dialogs of the editor window: where to export a bundle, which files to import.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    /// A bundle file to write, proposed under `proposedName`; empty when the user cancels.
    virtual QString chooseExportFile(QWidget* parent, const QString& proposedName) = 0;
    /// Bundle files to import; empty when the user cancels.
    virtual QStringList chooseImportFiles(QWidget* parent) = 0;
};

/// What the editor window shows through the desktop: alerts, file dialogs and outside
/// links. Services left empty get the Qt ones (message boxes, file dialogs, the default browser).
struct EditorServices {
    std::shared_ptr<UserAlerts> alerts;
    std::shared_ptr<FileDialogs> fileDialogs;
    std::shared_ptr<UrlOpener> urlOpener;

    /// This set with every missing service filled in.
    EditorServices completed() const;
};

} // namespace quillet
