#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace {
MessageBoxes::Handler& handler() {
    static MessageBoxes::Handler h;
    return h;
}

int showReal(const QString& text, const QString& caption, int style) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    if (style == MessageBoxes::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MessageBoxes::Yes : MessageBoxes::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageBoxes::Ok;
}
} // namespace

int MessageBoxes::show(const QString& text, const QString& caption, int style) {
    if (handler())
        return handler()(text, caption, style);
    return showReal(text, caption, style);
}

void MessageBoxes::setHandler(Handler h) {
    handler() = std::move(h);
}
