#include "server/value_simulation.h"

#include <cmath>

namespace iecstack::server {
namespace {

// The data object (or sub data object) a value attribute belongs to: walk up through constructed
// attributes such as mag or cVal until the node that carries t and q.
ModelNode* owningObject(ModelNode* value) {
    for (ModelNode* p = value->parent; p && !p->fc.empty(); p = p->parent) {
        if (p->child("t") || p->child("q")) {
            return p;
        }
    }
    return nullptr;
}

bool isControllable(const ModelNode& statusObject) {
    const ModelNode* fcNode = statusObject.parent;
    const ModelNode* ln = fcNode ? fcNode->parent : nullptr;
    const ModelNode* co = ln ? ln->child("CO") : nullptr;
    return co && co->child(statusObject.name);
}

void collect(ModelNode& node, std::vector<ModelNode*>& floats, std::vector<ModelNode*>& booleans) {
    if (node.kind == ModelNode::Kind::Basic) {
        if (node.fc == "MX" && node.basic == BasicType::Float && node.name == "f") {
            floats.push_back(&node);
        } else if (node.fc == "ST" && node.basic == BasicType::Boolean && node.name == "stVal") {
            booleans.push_back(&node);
        }
        return;
    }
    for (auto& c : node.children) {
        collect(*c, floats, booleans);
    }
}

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// Time quality: clock synchronised, 10 significant fraction bits.
constexpr uint8_t kTimeQuality = 0x0a;

}  // namespace

ValueSimulation::ValueSimulation(DataModel& model, std::chrono::milliseconds period)
    : model_(model), period_(period) {
    std::vector<ModelNode*> floats, booleans;
    for (auto& d : model_.domains) {
        for (auto& ln : d->logicalNodes) {
            collect(*ln, floats, booleans);
        }
    }
    for (ModelNode* f : floats) {
        ModelNode* owner = owningObject(f);
        double base = f->value.toDouble();
        if (base == 0) {
            base = 10.0 + static_cast<double>(measurements_.size() % 40) * 5.0;
        }
        measurements_.push_back(
            {f, owner ? owner->child("t") : nullptr, owner ? owner->child("q") : nullptr, base});
    }
    for (ModelNode* b : booleans) {
        ModelNode* owner = b->parent;
        if (owner && !isControllable(*owner)) {
            statuses_.push_back({b, owner->child("t"), owner->child("q"), 0});
        }
    }
}

ValueSimulation::~ValueSimulation() {
    stop();
}

void ValueSimulation::start() {
    if (thread_.joinable()) {
        return;
    }
    stopping_ = false;
    thread_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(wakeLock_);
        while (!wake_.wait_for(lock, period_, [this] { return stopping_; })) {
            step();
        }
    });
}

void ValueSimulation::stop() {
    {
        std::lock_guard<std::mutex> lock(wakeLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ValueSimulation::step() {
    std::normal_distribution<double> noise(0.0, 0.01);
    const uint64_t now = nowMs();
    auto stamp = [this, now](const Point& p) {
        if (p.time && p.time->kind == ModelNode::Kind::Basic && p.time->basic == BasicType::UtcTime) {
            model_.assign(*p.time, MmsValue::utcTimeFromMs(now, kTimeQuality));
        }
        if (p.quality && p.quality->kind == ModelNode::Kind::Basic &&
            p.quality->basic == BasicType::BitString) {
            model_.assign(*p.quality, MmsValue::bitString(mms::BitString(13)));  // good
        }
    };
    std::lock_guard<std::mutex> lock(model_.valueLock());
    ++steps_;
    for (const Point& p : measurements_) {
        double current = p.value->value.toDouble();
        double next = current + p.base * noise(random_);
        // Pull back towards the start value so the drift stays plausible over hours.
        next += (p.base - next) * 0.05;
        model_.assign(*p.value, p.value->size == 64 ? MmsValue::floatDouble(next)
                                                    : MmsValue::floatSingle(static_cast<float>(next)));
        stamp(p);
    }
    // One status point changes every few steps, in turn.
    if (!statuses_.empty() && steps_ % 4 == 0) {
        const Point& p = statuses_[nextStatus_++ % statuses_.size()];
        model_.assign(*p.value, MmsValue::boolean(!p.value->value.boolValue()));
        stamp(p);
    }
}

}  // namespace iecstack::server
