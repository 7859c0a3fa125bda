#include "constrainttable.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace iec61850 {

namespace {

constexpr size_t kHeaderOctets = 8;  // parent, code, length of the part
constexpr size_t kMaxStored = 0xffff;

// Where a reference splits into its parent and its own part (the part starting at the separator), or
// npos when it is stored whole. Any split reads back exactly; this one lets siblings share a parent.
size_t splitAt(std::string_view key) {
    const size_t at = key.rfind('.');
    return at == 0 ? std::string_view::npos : at;
}

std::uint32_t load32(const char* p) {
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::uint16_t load16(const char* p) {
    std::uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

size_t hashOf(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}

bool isUpper(QChar c) {
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

// "[XY]" as 1 + 26 * X + Y; 0 for an empty constraint, -1 for any other form.
int codeOf(const QString& fc) {
    if (fc.isEmpty()) {
        return 0;
    }
    if (fc.size() != 4 || fc.at(0) != QLatin1Char('[') || !isUpper(fc.at(1)) || !isUpper(fc.at(2)) ||
        fc.at(3) != QLatin1Char(']')) {
        return -1;
    }
    return 1 + 26 * (fc.at(1).unicode() - 'A') + (fc.at(2).unicode() - 'A');
}

QString textOf(int code) {
    if (code == 0) {
        return QString();
    }
    const QChar letters[4] = {QLatin1Char('['), QLatin1Char(char('A' + (code - 1) / 26)),
                              QLatin1Char(char('A' + (code - 1) % 26)), QLatin1Char(']')};
    return QString(letters, 4);
}

}  // namespace

bool ConstraintTable::encode(const QString& ref) const {
    // Sized once and written through a pointer: every line of a walk passes here.
    key_.resize(size_t(ref.size()));
    char* out = key_.data();
    const ushort* in = ref.utf16();
    for (int i = 0; i < ref.size(); ++i) {
        if (in[i] >= 0x80) {
            const QByteArray utf8 = ref.toUtf8();
            key_.assign(utf8.constData(), size_t(utf8.size()));
            break;
        }
        out[i] = char(in[i]);
    }
    return key_.size() <= std::min(kMaxStored, kBlockSize - kHeaderOctets) &&
           key_.find('\0') == std::string::npos;
}

inline ConstraintTable::Record ConstraintTable::record(std::uint32_t at) const {
    const char* entry = blocks_[at / kBlockSize].get() + at % kBlockSize;
    return Record{load32(entry), load16(entry + 4),
                  std::string_view(entry + kHeaderOctets, load16(entry + 6))};
}

void ConstraintTable::setCode(std::uint32_t at, std::uint16_t code) {
    std::memcpy(blocks_[at / kBlockSize].get() + at % kBlockSize + 4, &code, sizeof code);
}

inline bool ConstraintTable::matches(std::uint32_t at, std::string_view key) const {
    for (;;) {
        const Record entry = record(at);
        if (key.size() < entry.part.size() || key.substr(key.size() - entry.part.size()) != entry.part) {
            return false;
        }
        key.remove_suffix(entry.part.size());
        if (entry.parent == 0) {
            return key.empty();
        }
        at = entry.parent - 1;
    }
}

size_t ConstraintTable::find(std::string_view key, size_t hash) const {
    for (size_t i = hash % slots_.size();; i = nextSlot(i)) {
        if (slots_[i] == 0 || matches(slots_[i] - 1, key)) {
            return i;
        }
    }
}

std::uint32_t ConstraintTable::store(std::uint32_t parent, std::uint16_t code, std::string_view part) {
    const size_t needed = kHeaderOctets + part.size();
    if (used_ + needed > kBlockSize) {
        blocks_.push_back(std::make_unique<char[]>(kBlockSize));
        used_ = 0;
    }
    char* entry = blocks_.back().get() + used_;
    const std::uint16_t length = std::uint16_t(part.size());
    std::memcpy(entry, &parent, sizeof parent);
    std::memcpy(entry + 4, &code, sizeof code);
    std::memcpy(entry + 6, &length, sizeof length);
    std::memcpy(entry + kHeaderOctets, part.data(), part.size());
    const std::uint32_t at = std::uint32_t((blocks_.size() - 1) * kBlockSize + used_);
    used_ += needed;
    return at;
}

std::uint32_t ConstraintTable::prefixRecord(std::string_view prefix) {
    // Walk up from the prefix to the nearest ancestor already stored: in the line of the record
    // stored last, or inserted itself. What lies below it is stored top down, each under the last.
    missing_.clear();
    std::uint32_t found = 0;
    std::string_view rest = prefix;
    for (;;) {
        for (std::uint32_t at = last_; at != 0 && found == 0; at = record(at - 1).parent) {
            if (matches(at - 1, rest)) {
                found = at;
            }
        }
        if (found == 0 && !slots_.empty()) {
            found = slots_[find(rest, hashOf(rest))];
        }
        if (found != 0) {
            break;
        }
        missing_.push_back(rest.size());
        const size_t cut = splitAt(rest);
        if (cut == std::string_view::npos) {
            break;
        }
        rest = rest.substr(0, cut);
    }
    size_t done = found != 0 ? rest.size() : 0;
    for (auto length = missing_.rbegin(); length != missing_.rend(); ++length) {
        found = store(found, 0, prefix.substr(done, *length - done)) + 1;
        done = *length;
    }
    last_ = found;
    return found;
}

void ConstraintTable::grow() {
    std::vector<std::uint32_t> old = std::move(slots_);
    // Half again as many rather than twice: the slots of a large model are a good part of its table.
    slots_.assign(old.empty() ? 1024 : old.size() + old.size() / 2, 0);
    for (const std::uint32_t slot : old) {
        if (slot == 0) {
            continue;
        }
        // The reference written out: its length first, then its parts from the last one back.
        size_t length = 0;
        for (std::uint32_t at = slot; at != 0; at = record(at - 1).parent) {
            length += record(at - 1).part.size();
        }
        text_.resize(length);
        for (std::uint32_t at = slot; at != 0;) {
            const Record entry = record(at - 1);
            length -= entry.part.size();
            std::memcpy(text_.data() + length, entry.part.data(), entry.part.size());
            at = entry.parent;
        }
        // Every reference is stored once: its place is the first free slot from its hash on.
        size_t i = hashOf(text_) % slots_.size();
        while (slots_[i] != 0) {
            i = nextSlot(i);
        }
        slots_[i] = slot;
    }
}

void ConstraintTable::insert(const QString& ref, const QString& fc) {
    const int code = codeOf(fc);
    if (code < 0 || !encode(ref)) {
        others_.insert(ref, fc);
        return;
    }
    others_.remove(ref);
    // At most three quarters full, so that a probe ends soon.
    if (size_t(count_ + 1) * 4 > slots_.size() * 3) {
        grow();
    }
    const size_t i = find(key_, hashOf(key_));
    if (slots_[i] != 0) {
        setCode(slots_[i] - 1, std::uint16_t(code));
        return;
    }
    const size_t cut = splitAt(key_);
    const std::uint32_t parent =
        cut == std::string_view::npos ? 0 : prefixRecord(std::string_view(key_).substr(0, cut));
    slots_[i] = store(parent, std::uint16_t(code),
                      std::string_view(key_).substr(cut == std::string_view::npos ? 0 : cut)) +
                1;
    last_ = slots_[i];
    ++count_;
}

QString ConstraintTable::value(const QString& ref) const {
    if (!others_.isEmpty()) {
        const auto other = others_.constFind(ref);
        if (other != others_.constEnd()) {
            return other.value();
        }
    }
    if (count_ == 0 || !encode(ref)) {
        return QString();
    }
    const std::uint32_t slot = slots_[find(key_, hashOf(key_))];
    return slot == 0 ? QString() : textOf(record(slot - 1).code);
}

void ConstraintTable::clear() {
    blocks_.clear();
    used_ = kBlockSize;
    slots_.clear();
    count_ = 0;
    last_ = 0;
    others_.clear();
}

}  // namespace iec61850
