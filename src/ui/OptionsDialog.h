#pragma once

#include "ui/DialogParts.h"

#include <QDialog>
#include <QList>

#include <functional>

class QPushButton;

namespace twinfold {

// A dialog that asks how to convert a group of files: a header, an
// explanation, one row per option and "Cancel" / "Convert". A click on a row
// chooses that option at once; "Convert" (Return) confirms; "Cancel",
// Escape and closing the window all cancel.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    struct Option {
        QString title;
        QString description;
    };
    struct Actions {
        std::function<void(int)> select;  // index of the chosen option
        std::function<void()> confirm;
        std::function<void()> cancel;
    };
    struct Content {
        QSize size;
        DialogHeader header;
        QString explanation;
        bool explanationMargins = true;
        QList<Option> options;
        int selected = 0;
    };

    OptionsDialog(const Content& content, Actions actions, QWidget* parent = nullptr);

    const QList<OptionRow*>& rows() const { return rows_; }
    QPushButton* convertButton() const { return convert_; }
    QPushButton* cancelButton() const { return cancel_; }

    void reject() override;

private:
    void choose(int index);
    void confirm();

    Actions actions_;
    QList<OptionRow*> rows_;
    QPushButton* cancel_;
    QPushButton* convert_;
};

}  // namespace twinfold
