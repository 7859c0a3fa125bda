#include "constrainttable.h"

#include <cstring>
#include <functional>

namespace iec61850 {

namespace {

// A reference is stored as its length in two octets, then its octets.
constexpr size_t kLengthOctets = 2;
constexpr size_t kMaxStored = 0xffff;

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
    key_.clear();
    for (const QChar c : ref) {
        if (c.unicode() >= 0x80) {
            const QByteArray utf8 = ref.toUtf8();
            key_.assign(utf8.constData(), size_t(utf8.size()));
            break;
        }
        key_.push_back(char(c.unicode()));
    }
    return key_.size() <= kMaxStored - kLengthOctets && key_.find('\0') == std::string::npos;
}

std::string_view ConstraintTable::stored(std::uint32_t at) const {
    const char* entry = blocks_[at / kBlockSize].get() + at % kBlockSize;
    const size_t length =
        size_t(static_cast<unsigned char>(entry[0])) | size_t(static_cast<unsigned char>(entry[1])) << 8;
    return std::string_view(entry + kLengthOctets, length);
}

size_t ConstraintTable::find(std::string_view key, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.at == 0 || stored(slot.at - 1) == key) {
            return i;
        }
    }
}

std::uint32_t ConstraintTable::store(std::string_view key) {
    const size_t needed = kLengthOctets + key.size();
    if (used_ + needed > kBlockSize) {
        blocks_.push_back(std::make_unique<char[]>(kBlockSize));
        used_ = 0;
    }
    char* entry = blocks_.back().get() + used_;
    entry[0] = char(key.size() & 0xff);
    entry[1] = char(key.size() >> 8);
    std::memcpy(entry + kLengthOctets, key.data(), key.size());
    const std::uint32_t at = std::uint32_t((blocks_.size() - 1) * kBlockSize + used_);
    used_ += needed;
    return at;
}

void ConstraintTable::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
        if (slot.at != 0) {
            const std::string_view key = stored(slot.at - 1);
            slots_[find(key, std::hash<std::string_view>{}(key))] = slot;
        }
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
    const size_t hash = std::hash<std::string_view>{}(key_);
    Slot& slot = slots_[find(key_, hash)];
    if (slot.at == 0) {
        slot.at = store(key_) + 1;
        ++count_;
    }
    slot.code = std::uint16_t(code);
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
    const Slot& slot = slots_[find(key_, std::hash<std::string_view>{}(key_))];
    return slot.at == 0 ? QString() : textOf(slot.code);
}

void ConstraintTable::clear() {
    blocks_.clear();
    used_ = kBlockSize;
    slots_.clear();
    count_ = 0;
    others_.clear();
}

}  // namespace iec61850
