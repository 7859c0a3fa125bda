#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QStandardItem;
class QTreeView;

namespace iec61850 {

class TreeModel;

// Finds lines of a tree by name or reference, optionally of one functional constraint, and steps
// through them in the tree's order. Hidden until asked for (Ctrl+F in the view).
class FindBar : public QWidget {
    Q_OBJECT

public:
    FindBar(QTreeView* view, TreeModel* model, QWidget* parent = nullptr);

    // Whether a line ("[FC] name" or " name" with its reference) is one the person looks for. The text is
    // matched without regard to case; an empty `fc` takes every constraint, and an empty text every line
    // of the constraint given (none when neither is given).
    static bool lineMatches(const QString& lineText, const QString& ref, const QString& text,
                            const QString& fc);

    QList<QStandardItem*> matches() const;

public slots:
    void activate();
    void findNext();
    void findPrevious();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void step(int direction);
    void showCount(int position, int count);

    QTreeView* view;
    TreeModel* model;
    QLineEdit* findEdit;
    QComboBox* fcCombo;
    QLabel* matchLabel;
};

}  // namespace iec61850
