#pragma once
// Small pieces the write dialogs share.

#include <QLabel>
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

// A label found by its object name; a wrapped one grows downwards with a long text (a device's
// refusal, a list of values) instead of widening the dialog.
inline QLabel* namedLabel(const char* objectName, bool wrapped = false) {
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(objectName));
    label->setWordWrap(wrapped);
    return label;
}

// Removes and deletes every widget a layout holds, for a dialog that shows another object.
inline void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

}  // namespace iec61850::dialogparts
