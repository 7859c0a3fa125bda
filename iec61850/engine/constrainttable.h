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
// association, so each reference is kept as its last part after a link to its parent, the parents
// shared by their children (a walk inserts siblings one after another), in shared blocks, and the
// constraint as two letters in a code, instead of a pair of strings per attribute.
class ConstraintTable {
public:
    // `fc` as extractFc gives it ("[XY]" or empty). A reference inserted again takes the new value.
    void insert(const QString& ref, const QString& fc);
    // Empty for a reference never inserted.
    QString value(const QString& ref) const;
    void clear();
    int size() const { return count_; }

private:
    // A record: its parent (where it is stored, plus one; 0: none) in four octets, the constraint's
    // code in two (0: none), the length of its own part in two, then its part. A reference reads as
    // its parent's reference followed by its part. Parents that were never inserted themselves (a data
    // object above its attributes) are records too, but only inserted references have a slot.
    struct Record {
        std::uint32_t parent = 0;
        std::uint16_t code = 0;
        std::string_view part;
    };

    // Encodes `ref` into key_; false when it contains a NUL or is too long for a block.
    bool encode(const QString& ref) const;
    Record record(std::uint32_t at) const;
    void setCode(std::uint32_t at, std::uint16_t code);
    // Whether the record at `at` reads as `key`.
    bool matches(std::uint32_t at, std::string_view key) const;
    size_t nextSlot(size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    // The slot holding `key`, or the free slot where it would go.
    size_t find(std::string_view key, size_t hash) const;
    std::uint32_t store(std::uint32_t parent, std::uint16_t code, std::string_view part);
    // The record (plus one) reading as `prefix`, stored with its missing ancestors when there is none.
    std::uint32_t prefixRecord(std::string_view prefix);
    void grow();

    // Small blocks: the table grows through a whole walk, and small blocks fit in the room earlier
    // planning left free.
    static constexpr size_t kBlockSize = 4 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = kBlockSize;          // octets used in the last block
    std::vector<std::uint32_t> slots_;  // records (plus one; 0: free), open addressing
    int count_ = 0;
    std::uint32_t last_ = 0;  // the record (plus one) stored or found last: its ancestors come next
    // What the compact form cannot hold: constraints of another form, references with a NUL or
    // longer than a block.
    QHash<QString, QString> others_;
    mutable std::string key_;      // scratch for the encoded reference
    std::string text_;             // scratch for a stored reference while growing
    std::vector<size_t> missing_;  // scratch: lengths of the prefixes still to store
};

}  // namespace iec61850
