#pragma once

#include <QList>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QStandardItem;
class QTimer;

namespace iec61850 {

// Frees what an emptied tree leaves behind (its lines, already out of every model, and the indexes that
// named them) a slice at a time on later turns of the event loop: a logical device of thousands of
// lines takes longer to free than the window may go without drawing. What is left when the disposal
// goes is freed then.
class LineDisposal : public QObject {
public:
    explicit LineDisposal(QObject* parent = nullptr);
    ~LineDisposal() override;

    // Rows taken out of their model (takeRow); the disposal owns them from here on.
    void takeRow(const QList<QStandardItem*>& row);
    // A container whose elements are freed a few at a time, erased one by one from its start.
    template <class Container>
    void takeContainer(Container&& container);
    bool isEmpty() const;
    // Frees for about `budgetMs`, always at least one piece; true once nothing is left.
    bool freeSome(qint64 budgetMs);

    // Longest stretch one turn of the event loop spends freeing.
    static constexpr qint64 kSliceMs = 4;

private:
    void schedule();
    // Frees one line without children, or takes the last row off one that has them: a subtree never
    // goes in one piece.
    void freeOneStep();

    std::vector<QStandardItem*> items;
    // Each frees a few elements of one container per call and says whether it is empty.
    std::deque<std::function<bool()>> containers;
    QTimer* timer;
};

template <class Container>
void LineDisposal::takeContainer(Container&& container) {
    if (container.isEmpty()) {
        return;
    }
    struct Held {
        std::decay_t<Container> elements;
        typename std::decay_t<Container>::iterator next;
    };
    auto held = std::make_shared<Held>();
    held->elements = std::move(container);
    // Kept from call to call: finding the first element again would cost a walk over the empty start.
    held->next = held->elements.begin();
    containers.push_back([held] {
        for (int i = 0; i < 64 && held->next != held->elements.end(); ++i) {
            held->next = held->elements.erase(held->next);
        }
        return held->next == held->elements.end();
    });
    schedule();
}

}  // namespace iec61850
