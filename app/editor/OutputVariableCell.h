#pragma once

#include "editor/PopoverVariableCell.h"

#include <QPointer>
#include <QStringList>

namespace quillet {

class OutputVariableViewController;

/// The token of an output placeholder in the template editor, labelled with the variable's
/// name. Its popover holds the placeholder editor, loaded from the token's text; closing it
/// writes the last valid placeholder back in its canonical form.
class OutputVariableCell final : public PopoverVariableCell {
public:
    explicit OutputVariableCell(QString label);
    ~OutputVariableCell() override;

    /// The pattern's input variables when the token was made; offered by the editor.
    void setInputVariableNames(QStringList names) { m_inputVariableNames = std::move(names); }
    const QStringList& inputVariableNames() const noexcept { return m_inputVariableNames; }

    OutputVariableViewController* outputVariableViewController();

protected:
    QWidget* editor() override;
    std::optional<QString> textToWriteBack() override;

private:
    QStringList m_inputVariableNames;
    QPointer<OutputVariableViewController> m_editor;
};

} // namespace quillet
