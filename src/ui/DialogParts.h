#pragma once

#include "ui/Theme.h"

#include <QAbstractButton>
#include <QString>

class QBoxLayout;
class QLabel;
class QPushButton;

namespace twinfold {

// Pieces the option dialogs share: the centred header, a divider, the
// explanatory text, the row of buttons and the selectable option rows.

struct DialogHeader {
    QString symbolName;
    Tint tint;
    QString title;
    QString subtitle;
};

// Space between a dialog's parts, and around them.
inline constexpr int kDialogSpacing = 20;
inline constexpr int kDialogMargin = 16;

QWidget* makeDialogHeader(const DialogHeader& header, QWidget* parent);
QWidget* makeDivider(QWidget* parent);
// Secondary explanatory text, wrapped, with room at the sides.
QLabel* makeExplanation(const QString& text, FontRole role, QWidget* parent);
// Right-aligned "Cancel" and the blue default action; Return clicks the
// default action wherever the focus is.
QBoxLayout* makeButtonRow(QPushButton* cancel, QPushButton* confirm);

// One choice of an options dialog: a check circle, the title and a line of
// description, clickable over its whole area.
class OptionRow : public QAbstractButton {
    Q_OBJECT
public:
    OptionRow(const QString& title, const QString& description, QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    QString title() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateIcon();

    QLabel* icon_;
    QLabel* title_;
    bool selected_ = false;
};

// The rounded box that holds the option rows.
QWidget* makeOptionList(const QList<OptionRow*>& rows, QWidget* parent);

}  // namespace twinfold
