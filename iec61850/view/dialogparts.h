#pragma once
// Small pieces the write dialogs share.

#include <QLayout>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace iec61850::dialogparts {

// A button that Enter in the dialog's fields does not press, so that nothing is sent by accident.
inline QPushButton* commandButton(const QString& text, const char* objectName) {
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(objectName));
    button->setAutoDefault(false);
    return button;
}

// Removes and deletes every widget a layout holds, for a dialog that shows another object.
inline void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

}  // namespace iec61850::dialogparts
