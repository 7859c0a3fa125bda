#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace iec61850 {

// The functional constraint the walk found for each attribute reference ("LD/LN.DO.DA" -> "[ST]"),
// for the reads and writes asked later. A large model holds tens of thousands of these for the whole
// association, so the references are kept once each as UTF-8 in shared blocks and the constraint as
// two letters in a code, instead of a pair of strings per attribute.
class ConstraintTable {
public:
    // `fc` as extractFc gives it ("[XY]" or empty). A reference inserted again takes the new value.
    void insert(const QString& ref, const QString& fc);
    // Empty for a reference never inserted.
    QString value(const QString& ref) const;
    void clear();
    int size() const { return count_; }

private:
    struct Slot {
        std::uint32_t at = 0;    // where the reference is stored, plus one; 0: free
        std::uint16_t code = 0;  // the constraint's letters, 0: none
    };

    // Encodes `ref` into key_; false when it contains a NUL or is too long for a block.
    bool encode(const QString& ref) const;
    std::string_view stored(std::uint32_t at) const;
    // The slot holding key_, or the free slot where it would go.
    size_t find(std::string_view key, size_t hash) const;
    std::uint32_t store(std::string_view key);
    void grow();

    static constexpr size_t kBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = kBlockSize;  // octets used in the last block
    std::vector<Slot> slots_;   // open addressing, a power of two in size
    int count_ = 0;
    // What the compact form cannot hold: constraints of another form, references with a NUL or
    // longer than a block.
    QHash<QString, QString> others_;
    mutable std::string key_;  // scratch for the encoded reference
};

}  // namespace iec61850
