#include "findbar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItem>
#include <QTreeView>

#include "treemodel.h"

namespace iec61850 {

namespace {

const QString kAnyConstraint = QStringLiteral("Any FC");
const QStringList kConstraints{"ST", "MX", "CO", "SP", "SV", "CF", "DC", "SG", "SE", "SR",
                               "OR", "BL", "EX", "BR", "RP", "LG", "GO", "MS", "US"};

void collect(const TreeModel* model, QStandardItem* parent, const QString& text, const QString& fc,
             QList<QStandardItem*>& found) {
    for (int row = 0; row < parent->rowCount(); ++row) {
        QStandardItem* line = parent->child(row, 0);
        if (FindBar::lineMatches(line->text(), model->referenceOf(line), text, fc)) {
            found.append(line);
        }
        collect(model, line, text, fc, found);
    }
}

}  // namespace

FindBar::FindBar(QTreeView* view, TreeModel* model, QWidget* parent)
    : QWidget(parent), view(view), model(model) {
    setObjectName("findBar");
    findEdit = new QLineEdit;
    findEdit->setObjectName("findEdit");
    findEdit->setPlaceholderText(tr("Find name or reference"));
    findEdit->setClearButtonEnabled(true);
    fcCombo = new QComboBox;
    fcCombo->setObjectName("findFcCombo");
    fcCombo->addItem(kAnyConstraint);
    fcCombo->addItems(kConstraints);
    auto* previousButton = new QPushButton(tr("Previous"));
    previousButton->setObjectName("findPreviousButton");
    auto* nextButton = new QPushButton(tr("Next"));
    nextButton->setObjectName("findNextButton");
    matchLabel = new QLabel;
    matchLabel->setObjectName("findMatchLabel");
    auto* closeButton = new QPushButton(tr("Close"));
    closeButton->setObjectName("findCloseButton");

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(findEdit, 1);
    layout->addWidget(fcCombo);
    layout->addWidget(previousButton);
    layout->addWidget(nextButton);
    layout->addWidget(matchLabel);
    layout->addWidget(closeButton);

    connect(findEdit, &QLineEdit::returnPressed, this, &FindBar::findNext);
    connect(findEdit, &QLineEdit::textChanged, this, [this]() { matchLabel->clear(); });
    connect(fcCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this]() { matchLabel->clear(); });
    connect(nextButton, &QPushButton::clicked, this, &FindBar::findNext);
    connect(previousButton, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

bool FindBar::lineMatches(const QString& lineText, const QString& ref, const QString& text,
                          const QString& fc) {
    if (text.isEmpty() && fc.isEmpty()) {
        return false;
    }
    if (!fc.isEmpty() && !lineText.startsWith(QLatin1Char('[') + fc + QLatin1Char(']'))) {
        return false;
    }
    if (text.isEmpty()) {
        return true;
    }
    const int nameStart = lineText.indexOf(QLatin1Char(' ')) + 1;
    return lineText.midRef(nameStart).contains(text, Qt::CaseInsensitive) ||
           ref.contains(text, Qt::CaseInsensitive);
}

QList<QStandardItem*> FindBar::matches() const {
    const QString fc = fcCombo->currentIndex() > 0 ? fcCombo->currentText() : QString();
    QList<QStandardItem*> found;
    collect(model, model->invisibleRootItem(), findEdit->text().trimmed(), fc, found);
    return found;
}

void FindBar::activate() {
    show();
    findEdit->setFocus(Qt::ShortcutFocusReason);
    findEdit->selectAll();
}

void FindBar::findNext() {
    step(1);
}

void FindBar::findPrevious() {
    step(-1);
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        view->setFocus();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The matches are taken afresh on every step: lines arrive and go while a device is browsed.
void FindBar::step(int direction) {
    const QList<QStandardItem*> found = matches();
    if (found.isEmpty()) {
        showCount(0, 0);
        return;
    }
    const int current = found.indexOf(model->itemFromIndex(view->currentIndex()));
    int next = 0;
    if (current >= 0) {
        next = (current + direction + found.size()) % found.size();
    } else if (direction < 0) {
        next = found.size() - 1;
    }
    const QModelIndex index = found.at(next)->index();
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
        view->expand(up);
    }
    view->setCurrentIndex(index);
    view->scrollTo(index);
    showCount(next + 1, found.size());
}

void FindBar::showCount(int position, int count) {
    matchLabel->setText(count == 0 ? tr("No match") : tr("%1 of %2").arg(position).arg(count));
}

}  // namespace iec61850
