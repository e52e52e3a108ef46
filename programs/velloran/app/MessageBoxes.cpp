#include "app/MessageBoxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>
#include <QTimer>

namespace {
MessageBoxes::Handler& handler() {
    static MessageBoxes::Handler h;
    return h;
}

int showReal(const QString& text, const QString& caption, int style) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    MessageBoxes::fitCaption(box);
    // A clerk can copy what a box says into a note or a mail to whoever keeps the data.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A box that only tells has its text selected, with the keyboard, as it opens, so that
    // Ctrl+C copies it at once; Return and Escape still close it. A question keeps the
    // keyboard on its buttons.
    if (style != MessageBoxes::YesNo)
        QTimer::singleShot(0, &box, [&box] {
            if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                label->setFocus();
                label->setSelection(0, int(label->text().size()));
            }
        });
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

void MessageBoxes::fitCaption(QMessageBox& box) {
    // A window manager cuts a caption wider than its box; a spacer as wide as the caption and
    // the title bar's buttons keeps it whole.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 160;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

int MessageBoxes::show(const QString& text, const QString& caption, int style) {
    if (handler())
        return handler()(text, caption, style);
    return showReal(text, caption, style);
}

void MessageBoxes::setHandler(Handler h) {
    handler() = std::move(h);
}
