#include <gtest/gtest.h>

#include <deque>

#include "ber/reader.h"
#include "ber/writer.h"
#include "hex.h"

using namespace iecstack;
using namespace iecstack::ber;
using korvan::test::fromHex;
using korvan::test::toHex;

namespace {

// Elements point into their input, so the inputs of one test binary are kept for its whole run.
Expected<Element> single(Bytes bytes) {
    static std::deque<Bytes> inputs;
    inputs.push_back(std::move(bytes));
    return decodeSingle(inputs.back());
}

Error errorOf(const Bytes& bytes) {
    auto element = decodeSingle(bytes);
    EXPECT_FALSE(element.ok()) << toHex(bytes);
    return element.error();
}

}  // namespace

// --- values as peers send them ---------------------------------------------------------------------

TEST(BerValues, IntegersDecodeWithSignAndRedundantOctets) {
    const Bytes cases[] = {fromHex("02 01 00"), fromHex("02 01 7f"),    fromHex("02 02 00 80"),
                           fromHex("02 01 80"), fromHex("02 02 ff 7f"), fromHex("02 03 00 00 05")};
    const int64_t expected[] = {0, 127, 128, -128, -129, 5};
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto value = single(cases[i])->toInteger();
        ASSERT_TRUE(value.ok()) << i;
        EXPECT_EQ(*value, expected[i]) << i;
    }
    EXPECT_EQ(*single(fromHex("02 08 80 00 00 00 00 00 00 00"))->toInteger(), INT64_MIN);
}

TEST(BerValues, UnsignedNeedsLeadingZeroForTopBit) {
    // IntgPd 40000 as written in the captures.
    EXPECT_EQ(*single(fromHex("86 03 00 9c 40"))->toUnsigned(), 40000u);
    EXPECT_EQ(*single(fromHex("86 09 00 ff ff ff ff ff ff ff ff"))->toUnsigned(), UINT64_MAX);
    EXPECT_EQ(single(fromHex("86 02 9c 40"))->toUnsigned().error(), Error::NegativeUnsigned);
    EXPECT_EQ(single(fromHex("86 0a 00 01 00 00 00 00 00 00 00 00"))->toUnsigned().error(),
              Error::IntegerTooLarge);
}

TEST(BerValues, BooleanAcceptsAnyNonZero) {
    EXPECT_TRUE(*single(fromHex("83 01 01"))->toBoolean());
    EXPECT_TRUE(*single(fromHex("83 01 ff"))->toBoolean());
    EXPECT_FALSE(*single(fromHex("83 01 00"))->toBoolean());
}

TEST(BerValues, BitStringKeepsUnusedBitsAndBitOrder) {
    // Parameter CBB from the initiate request: 11 bits, 5 unused.
    auto bits = single(fromHex("81 03 05 f1 00"))->toBitString();
    ASSERT_TRUE(bits.ok());
    EXPECT_EQ(bits->bitCount(), 11u);
    EXPECT_TRUE(bits->bit(0));
    EXPECT_TRUE(bits->bit(3));
    EXPECT_FALSE(bits->bit(4));
    EXPECT_TRUE(bits->bit(7));
    EXPECT_FALSE(bits->bit(10));
    EXPECT_FALSE(bits->bit(11));  // past the end reads as clear, never out of bounds
    EXPECT_EQ(single(fromHex("84 01 00"))->toBitString()->bitCount(), 0u);
}

TEST(BerValues, MultiOctetTagsAndLongLengths) {
    auto element = single(fromHex("bf 4d 00"));
    ASSERT_TRUE(element.ok());
    EXPECT_EQ(element->tag, ctxc(77));
    Bytes longForm = fromHex("04 82 01 00");
    longForm.resize(4 + 256, 0xaa);
    element = single(longForm);
    ASSERT_TRUE(element.ok());
    EXPECT_EQ(element->content.size(), 256u);
}

TEST(BerValues, ObjectIdentifiersOfTheAssociation) {
    EXPECT_EQ(*single(fromHex("06 05 28 ca 22 02 03"))->toOid(), (Oid{1, 0, 9506, 2, 3}));
    EXPECT_EQ(*single(fromHex("06 05 29 01 87 67 01"))->toOid(), (Oid{1, 1, 1, 999, 1}));
    EXPECT_EQ(*single(fromHex("06 02 51 01"))->toOid(), (Oid{2, 1, 1}));
}

// --- lengths past the end and truncation -------------------------------------------------------------

TEST(BerLengths, ContentLongerThanBufferIsLengthPastEnd) {
    EXPECT_EQ(errorOf(fromHex("04 05 01 02")), Error::LengthPastEnd);
    EXPECT_EQ(errorOf(fromHex("04 82 01 00 00")), Error::LengthPastEnd);
    EXPECT_EQ(errorOf(fromHex("30 84 7f ff ff ff 00")), Error::LengthPastEnd);
}

TEST(BerLengths, ChildLongerThanItsParentIsLengthPastEnd) {
    // The outer element fits the buffer but its child claims bytes that belong to the sibling.
    const Bytes bytes = fromHex("30 03 04 05 00 04 01 00");
    Reader outer(bytes);
    auto sequence = outer.next();
    ASSERT_TRUE(sequence.ok());
    auto children = sequence->children();
    ASSERT_TRUE(children.ok());
    EXPECT_EQ(children->next().error(), Error::LengthPastEnd);
}

TEST(BerLengths, HeadersCutShortAreTruncated) {
    EXPECT_EQ(errorOf(fromHex("04")), Error::Truncated);
    EXPECT_EQ(errorOf(fromHex("bf")), Error::Truncated);
    EXPECT_EQ(errorOf(fromHex("bf 81")), Error::Truncated);
    EXPECT_EQ(errorOf(fromHex("04 82 01")), Error::Truncated);
    EXPECT_EQ(errorOf(Bytes{}), Error::MissingElement);
}

TEST(BerLengths, AbsurdAndIndefiniteFormsAreRefused) {
    EXPECT_EQ(errorOf(fromHex("30 80 00 00")), Error::IndefiniteLength);
    EXPECT_EQ(errorOf(fromHex("04 85 00 00 00 00 01 00")), Error::LengthTooLong);
    EXPECT_EQ(errorOf(fromHex("04 ff 00")), Error::LengthTooLong);
    EXPECT_EQ(errorOf(fromHex("bf 81 81 81 81 01 00")), Error::TagTooLong);
}

TEST(BerLengths, BytesAfterTheElementAreTrailing) {
    EXPECT_EQ(errorOf(fromHex("05 00 00")), Error::TrailingBytes);
}

// --- malformed content ------------------------------------------------------------------------------

TEST(BerContent, PrimitiveContentOutsideItsRules) {
    EXPECT_EQ(single(fromHex("02 00"))->toInteger().error(), Error::BadInteger);
    EXPECT_EQ(single(fromHex("02 09 01 00 00 00 00 00 00 00 00"))->toInteger().error(),
              Error::IntegerTooLarge);
    EXPECT_EQ(single(fromHex("01 02 00 01"))->toBoolean().error(), Error::BadBoolean);
    EXPECT_EQ(single(fromHex("01 00"))->toBoolean().error(), Error::BadBoolean);
    EXPECT_EQ(single(fromHex("03 00"))->toBitString().error(), Error::BadBitString);
    EXPECT_EQ(single(fromHex("03 02 08 00"))->toBitString().error(), Error::BadBitString);
    EXPECT_EQ(single(fromHex("03 01 03"))->toBitString().error(), Error::BadBitString);
    EXPECT_EQ(single(fromHex("06 02 28 ca"))->toOid().error(), Error::BadObjectIdentifier);
    EXPECT_EQ(single(fromHex("06 07 28 ff ff ff ff ff 01"))->toOid().error(), Error::BadObjectIdentifier);
    EXPECT_EQ(single(fromHex("a2 00"))->toInteger().error(), Error::NotPrimitive);
    EXPECT_EQ(single(fromHex("82 00"))->children().error(), Error::NotConstructed);
}

// --- wrong tags --------------------------------------------------------------------------------------

TEST(BerTags, ReaderReportsWrongAndMissingElements) {
    const Bytes bytes = fromHex("02 01 05 80 01 01");
    Reader reader(bytes);
    EXPECT_EQ(reader.next(tags::Boolean).error(), Error::UnexpectedTag);
    EXPECT_EQ(reader.remaining(), bytes.size());  // a failed call does not advance
    auto absent = reader.optional(ctx(1));
    ASSERT_TRUE(absent.ok());
    EXPECT_FALSE(absent->has_value());
    EXPECT_EQ(*reader.readInteger(), 5);
    auto present = reader.optional(ctx(0));
    ASSERT_TRUE(present.ok() && present->has_value());
    EXPECT_EQ(reader.next(tags::Integer).error(), Error::MissingElement);
    EXPECT_TRUE(reader.expectEnd().ok());
}

// --- nesting ----------------------------------------------------------------------------------------

namespace {

Bytes nested(size_t levels) {
    Writer writer;
    for (size_t i = 0; i < levels; ++i) {
        writer.begin(ctxc(2));
    }
    writer.boolean(ctx(3), true);
    for (size_t i = 0; i < levels; ++i) {
        writer.end();
    }
    return writer.take();
}

// Descends as a recursive decoder would; returns the first error or the depth reached.
Expected<size_t> descend(Element element) {
    size_t depth = 0;
    while (element.tag.constructed) {
        auto children = element.children();
        if (!children) {
            return children.error();
        }
        auto child = children->next();
        if (!child) {
            return child.error();
        }
        element = *child;
        ++depth;
    }
    return depth;
}

}  // namespace

TEST(BerNesting, DepthIsBoundedByTheLimit) {
    auto shallow = single(nested(kDefaultMaxDepth));
    ASSERT_TRUE(shallow.ok());
    EXPECT_EQ(*descend(*shallow), kDefaultMaxDepth);

    // Thousands of levels would exhaust a recursive decoder's stack without the limit.
    auto deep = single(nested(5000));
    ASSERT_TRUE(deep.ok());
    EXPECT_EQ(descend(*deep).error(), Error::NestingTooDeep);

    const Bytes three = nested(3);
    auto tight = decodeSingle(three, 1);
    EXPECT_EQ(descend(*tight).error(), Error::NestingTooDeep);
}

// --- encoding -----------------------------------------------------------------------------------------

TEST(BerWriter, IntegersUseTheShortestForm) {
    const int64_t values[] = {0, 127, 128, -128, -129, 65000, INT64_MAX, INT64_MIN};
    const char* expected[] = {"02 01 00",
                              "02 01 7f",
                              "02 02 00 80",
                              "02 01 80",
                              "02 02 ff 7f",
                              "02 03 00 fd e8",
                              "02 08 7f ff ff ff ff ff ff ff",
                              "02 08 80 00 00 00 00 00 00 00"};
    for (size_t i = 0; i < std::size(values); ++i) {
        Writer writer;
        writer.integer(tags::Integer, values[i]);
        EXPECT_EQ(toHex(writer.bytes()), expected[i]);
        EXPECT_EQ(*single(writer.bytes())->toInteger(), values[i]);
    }
}

TEST(BerWriter, UnsignedGainsLeadingZero) {
    Writer writer;
    writer.unsignedInteger(ctx(6), 40000);
    writer.unsignedInteger(ctx(6), 0);
    writer.unsignedInteger(ctx(6), UINT64_MAX);
    EXPECT_EQ(toHex(writer.bytes()), "86 03 00 9c 40 86 01 00 86 09 00 ff ff ff ff ff ff ff ff");
}

TEST(BerWriter, BitStringsClearPaddingAndCountUnusedBits) {
    Writer writer;
    const uint8_t cbb[] = {0xf1, 0xff};
    writer.bitString(ctx(1), ByteView(cbb, 2), 11);
    writer.bitString(ctx(4), ByteView(), 0);
    EXPECT_EQ(toHex(writer.bytes()), "81 03 05 f1 e0 84 01 00");
}

TEST(BerWriter, NestedLengthsWidenWhenContentGrows) {
    Writer writer;
    writer.constructed(ctxc(1), [&] {
        writer.constructed(tags::Sequence, [&] {
            Bytes payload(300, 0x55);
            writer.octets(tags::OctetString, payload);
        });
        writer.null(ctx(11));
    });
    const Bytes out = writer.take();
    EXPECT_EQ(toHex(ByteView(out.data(), 12)), "a1 82 01 36 30 82 01 30 04 82 01 2c");
    auto outer = decodeSingle(out);
    ASSERT_TRUE(outer.ok());
    auto children = outer->children();
    auto sequence = children->next(tags::Sequence);
    ASSERT_TRUE(sequence.ok());
    EXPECT_TRUE(children->next(ctx(11)).ok());
    EXPECT_TRUE(children->expectEnd().ok());
}

TEST(BerWriter, ReproducesTheInitiateRequestOfTheCaptures) {
    const Bytes expected = fromHex(
        "a8 26 80 03 00 fd e8 81 01 05 82 01 05 83 01 0a a4 16 80 01 01 81 03 05 f1 00"
        " 82 0c 03 ee 1c 00 00 04 08 00 00 79 ef 18");
    Writer writer;
    writer.constructed(ctxc(8), [&] {
        writer.integer(ctx(0), 65000);
        writer.integer(ctx(1), 5);
        writer.integer(ctx(2), 5);
        writer.integer(ctx(3), 10);
        writer.constructed(ctxc(4), [&] {
            writer.integer(ctx(0), 1);
            const Bytes cbb = fromHex("f1 00");
            writer.bitString(ctx(1), cbb, 11);
            const Bytes services = fromHex("ee 1c 00 00 04 08 00 00 79 ef 18");
            writer.bitString(ctx(2), services, 85);
        });
    });
    EXPECT_EQ(toHex(writer.bytes()), toHex(expected));
}

TEST(BerWriter, ObjectIdentifiersRoundTrip) {
    Writer writer;
    writer.oid(tags::ObjectIdentifier, Oid{1, 0, 9506, 2, 1});
    writer.oid(tags::ObjectIdentifier, Oid{2, 2, 3, 1});
    EXPECT_EQ(toHex(writer.bytes()), "06 05 28 ca 22 02 01 06 03 52 03 01");
}
