#include "server/value_simulation.h"

#include <algorithm>
#include <cmath>

#include "mapping/member_reference.h"

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

// A release that decides whether commands may go through (interlocking, synchronism check): the user
// sets it to rehearse a refusal, so the simulation must not flip it under a running control test.
bool releasesCommands(const ModelNode& statusObject) {
    const ModelNode* fcNode = statusObject.parent;
    const ModelNode* ln = fcNode ? fcNode->parent : nullptr;
    if (!ln) {
        return false;
    }
    const std::string& name = ln->name;
    const size_t digits = name.find_last_not_of("0123456789") + 1;
    const std::string lnClass = digits >= 4 ? name.substr(digits - 4, 4) : std::string();
    return lnClass == "CILO" || lnClass == "RSYN";
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

// How far a measurement may stray from its start value, so a simulated bay looks healthy: the frequency
// within 0.2 Hz, voltages within 2 %, power factors within 0.02, currents, powers and the rest within
// 10 %. The data object's name tells the quantity.
double bandOf(const ModelNode& value, double base) {
    const std::string item = value.itemId();
    const std::vector<std::string_view> parts = mapping::itemNameParts(item);
    const std::string_view object = parts.size() > 2 ? parts[2] : std::string_view();
    const double magnitude = std::fabs(base);
    if (object == "Hz") {
        return 0.2;
    }
    if (object == "PhV" || object == "PPV" || object == "V" || object == "Vol" || object == "VolAmpr") {
        return magnitude * 0.02;
    }
    if (object == "PF" || object == "TotPF") {
        return 0.02;
    }
    return magnitude * 0.10;
}

uint64_t nowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

// Time quality: clock synchronised, 10 significant fraction bits.
constexpr uint8_t kTimeQuality = 0x0a;

}  // namespace

ValueSimulation::ValueSimulation(DataModel& model, iso::Scheduler& scheduler,
                                 std::chrono::milliseconds period)
    : ValueSimulation(model, period) {
    scheduler_ = &scheduler;
}

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
        measurements_.push_back({f, owner ? owner->child("t") : nullptr, owner ? owner->child("q") : nullptr,
                                 base, bandOf(*f, base)});
    }
    for (ModelNode* b : booleans) {
        ModelNode* owner = b->parent;
        if (owner && !isControllable(*owner) && !releasesCommands(*owner)) {
            statuses_.push_back({b, owner->child("t"), owner->child("q"), 0, 0});
        }
    }
}

ValueSimulation::~ValueSimulation() {
    stop();
}

void ValueSimulation::start() {
    if (stepping_) {
        return;
    }
    if (!scheduler_) {
        ownScheduler_ = std::make_unique<iso::Scheduler>(1);
        scheduler_ = ownScheduler_.get();
    }
    stepping_ = std::make_unique<iso::TaskGroup>(*scheduler_);
    stepLater(*stepping_);
}

// Through the group itself: stop() may be closing it while a step runs.
void ValueSimulation::stepLater(iso::TaskGroup& steps) {
    steps.at(iso::TaskGroup::Clock::now() + period_, [this, &steps] {
        step();
        stepLater(steps);
    });
}

void ValueSimulation::stop() {
    stepping_.reset();
}

void ValueSimulation::step() {
    std::normal_distribution<double> noise(0.0, 0.25);
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
        const double current = p.value->value.toDouble();
        // A walk in steps of about a quarter of the band, pulled back towards the start value and held
        // inside the band, so it moves visibly but stays plausible over hours.
        double next = current + p.band * noise(random_);
        next += (p.base - next) * 0.1;
        next = std::clamp(next, p.base - p.band, p.base + p.band);
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
