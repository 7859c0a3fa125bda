#include "discoverywalk.h"

namespace iec61850 {

int PlannedLines::add(WalkEntry entry, const QString& ref, const QString& shown) {
    const QByteArray utf8 = ref.toUtf8();
    entry.refAt = static_cast<quint32>(refs_.size());
    entry.refLength = static_cast<quint32>(utf8.size());
    refs_.append(utf8.constData(), static_cast<size_t>(utf8.size()));
    if (!shown.isEmpty() && ref.endsWith(shown)) {
        entry.shownLength = shown.size();
    } else {
        const QByteArray name = shown.toUtf8();
        entry.shownLength = -1 - name.size();
        refs_.append(name.constData(), static_cast<size_t>(name.size()));
    }
    lines_.push_back(std::move(entry));
    return size() - 1;
}

QString PlannedLines::reference(const WalkEntry& entry) const {
    return QString::fromUtf8(refs_.data() + entry.refAt, static_cast<int>(entry.refLength));
}

QString PlannedLines::shown(const WalkEntry& entry, const QString& ref) const {
    if (entry.shownLength >= 0) {
        return ref.right(entry.shownLength);
    }
    return QString::fromUtf8(refs_.data() + entry.refAt + entry.refLength, -1 - entry.shownLength);
}

void PlannedLines::squeeze() {
    lines_.shrink_to_fit();
    refs_.shrink_to_fit();
}

void PlannedLines::release() {
    std::vector<WalkEntry>().swap(lines_);
    std::string().swap(refs_);
}

}  // namespace iec61850
