// The journal service on the wire: ReadJournal and the entries it answers with.
#include "file_codec.h"

namespace iecstack::mms::detail {

using ber::ctx;
using ber::ctxc;

namespace {

Decoded<uint64_t> timeOfDay(const ber::Element& element) {
    MMS_TRY(ByteView octets, element.toOctets());
    if (octets.size() != 4 && octets.size() != 6) {
        return failure(Error::BadTime);
    }
    uint32_t msOfDay = 0;
    for (size_t i = 0; i < 4; ++i) {
        msOfDay = (msOfDay << 8) | octets[i];
    }
    if (msOfDay >= 86400000u) {
        return failure(Error::BadTime);
    }
    if (octets.size() == 4) {
        return MmsValue::binaryTimeOfDay(msOfDay).binaryTimeMs();
    }
    const uint16_t days = static_cast<uint16_t>((octets[4] << 8) | octets[5]);
    return MmsValue::binaryTime(msOfDay, days).binaryTimeMs();
}

void encodeTimeOfDay(ber::Writer& w, ber::Tag tag, uint64_t ms) {
    w.octets(tag, MmsValue::binaryTimeFromMs(ms, true).octets());
}

Decoded<Bytes> octets(const ber::Element& element) {
    MMS_TRY(ByteView content, element.toOctets());
    return content.toBytes();
}

Decoded<JournalVariable> journalVariable(const Decoder& d, const ber::Element& element) {
    if (element.tag != ber::tags::Sequence) {
        return failure(Error::UnexpectedTag);
    }
    JournalVariable variable;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element tag, reader.next(ctx(0)));
    MMS_TRY(variable.tag, d.identifier(tag));
    MMS_TRY(ber::Element wrapper, reader.next(ctxc(1)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(ber::Reader inner, wrapper.children());
    MMS_TRY(ber::Element data, inner.next());
    MMS_CHECK(inner.expectEnd());
    MMS_TRY(variable.value, d.data(data));
    return variable;
}

Decoded<JournalEntry> journalEntry(const Decoder& d, const ber::Element& element) {
    if (element.tag != ber::tags::Sequence) {
        return failure(Error::UnexpectedTag);
    }
    JournalEntry entry;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element id, reader.next(ctx(0)));
    MMS_TRY(entry.entryId, octets(id));
    // Who wrote the entry is of no use to a client of a device's own log.
    MMS_TRY(ber::Element origin, reader.next(ctxc(1)));
    (void)origin;
    MMS_TRY(ber::Element content, reader.next(ctxc(2)));
    MMS_CHECK(reader.expectEnd());
    MMS_TRY(ber::Reader fields, content.children());
    MMS_TRY(ber::Element time, fields.next(ctx(0)));
    MMS_TRY(entry.occurrenceTimeMs, timeOfDay(time));
    MMS_TRY(auto detail, fields.optional(ctxc(1)));
    (void)detail;
    MMS_TRY(auto data, fields.optional(ctxc(2)));
    if (data) {
        MMS_TRY(ber::Reader parts, data->children());
        MMS_TRY(auto event, parts.optional(ctxc(0)));
        (void)event;
        MMS_TRY(auto variables, parts.optional(ctxc(1)));
        if (variables) {
            MMS_TRY(entry.variables, d.listOf<JournalVariable>(*variables, [&d](const ber::Element& v) {
                return journalVariable(d, v);
            }));
        }
        MMS_CHECK(parts.expectEnd());
    } else {
        // An annotation: text a person wrote into the journal, without variables.
        MMS_TRY(ber::Element annotation, fields.next(ctx(3)));
        (void)annotation;
    }
    MMS_CHECK(fields.expectEnd());
    return entry;
}

}  // namespace

Decoded<ReadJournalRequest> readJournalRequest(const Decoder& d, const ber::Element& element) {
    ReadJournalRequest request;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element name, reader.next(ctxc(0)));
    MMS_TRY(request.journalName, d.wrappedObjectName(name));
    MMS_TRY(auto start, reader.optional(ctxc(1)));
    if (start) {
        MMS_TRY(ber::Reader choice, start->children());
        MMS_TRY(ber::Element which, choice.next());
        MMS_CHECK(choice.expectEnd());
        if (which.tag == ctx(0)) {
            MMS_TRY(request.startingTimeMs, timeOfDay(which));
        } else if (which.tag == ctx(1)) {
            MMS_TRY(request.startingEntry, octets(which));
        } else {
            return failure(Error::UnexpectedTag);
        }
    }
    MMS_TRY(auto stop, reader.optional(ctxc(2)));
    if (stop) {
        MMS_TRY(ber::Reader choice, stop->children());
        MMS_TRY(ber::Element which, choice.next());
        MMS_CHECK(choice.expectEnd());
        if (which.tag == ctx(0)) {
            MMS_TRY(request.endingTimeMs, timeOfDay(which));
        } else if (which.tag == ctx(1)) {
            MMS_TRY(request.numberOfEntries, d.integer32(which));
        } else {
            return failure(Error::UnexpectedTag);
        }
    }
    MMS_TRY(auto variables, reader.optional(ctxc(4)));
    if (variables) {
        MMS_TRY(request.listOfVariables,
                d.listOf<std::string>(*variables, [&d](const ber::Element& v) -> Decoded<std::string> {
                    if (v.tag != ber::tags::VisibleString) {
                        return failure(Error::UnexpectedTag);
                    }
                    return d.identifier(v);
                }));
    }
    MMS_TRY(auto after, reader.optional(ctxc(5)));
    if (after) {
        ReadJournalRequest::After position;
        MMS_TRY(ber::Reader fields, after->children());
        MMS_TRY(ber::Element time, fields.next(ctx(0)));
        MMS_TRY(position.timeMs, timeOfDay(time));
        MMS_TRY(ber::Element entry, fields.next(ctx(1)));
        MMS_TRY(position.entryId, octets(entry));
        MMS_CHECK(fields.expectEnd());
        request.entryToStartAfter = std::move(position);
    }
    MMS_CHECK(reader.expectEnd());
    return request;
}

Decoded<ReadJournalResponse> readJournalResponse(const Decoder& d, const ber::Element& element) {
    ReadJournalResponse response;
    MMS_TRY(ber::Reader reader, element.children());
    MMS_TRY(ber::Element list, reader.next(ctxc(0)));
    MMS_TRY(response.entries,
            d.listOf<JournalEntry>(list, [&d](const ber::Element& e) { return journalEntry(d, e); }));
    MMS_TRY(auto moreFollows, reader.optional(ctx(1)));
    if (moreFollows) {
        MMS_TRY(response.moreFollows, moreFollows->toBoolean());
    }
    MMS_CHECK(reader.expectEnd());
    return response;
}

void encodeBody(ber::Writer& w, const ReadJournalRequest& r) {
    w.begin(ctxc(kReadJournal));
    w.begin(ctxc(0));
    encodeObjectName(w, r.journalName);
    w.end();
    if (r.startingTimeMs || r.startingEntry) {
        w.begin(ctxc(1));
        if (r.startingTimeMs) {
            encodeTimeOfDay(w, ctx(0), *r.startingTimeMs);
        } else {
            w.octets(ctx(1), ByteView(*r.startingEntry));
        }
        w.end();
    }
    if (r.endingTimeMs || r.numberOfEntries) {
        w.begin(ctxc(2));
        if (r.endingTimeMs) {
            encodeTimeOfDay(w, ctx(0), *r.endingTimeMs);
        } else {
            w.integer(ctx(1), *r.numberOfEntries);
        }
        w.end();
    }
    if (!r.listOfVariables.empty()) {
        w.begin(ctxc(4));
        for (const std::string& variable : r.listOfVariables) {
            w.string(ber::tags::VisibleString, variable);
        }
        w.end();
    }
    if (r.entryToStartAfter) {
        w.begin(ctxc(5));
        encodeTimeOfDay(w, ctx(0), r.entryToStartAfter->timeMs);
        w.octets(ctx(1), ByteView(r.entryToStartAfter->entryId));
        w.end();
    }
    w.end();
}

void encodeBody(ber::Writer& w, const ReadJournalResponse& r) {
    w.begin(ctxc(kReadJournal));
    w.begin(ctxc(0));
    for (const JournalEntry& entry : r.entries) {
        w.begin(ber::tags::Sequence);
        w.octets(ctx(0), ByteView(entry.entryId));
        w.begin(ctxc(1));  // originating application: the device itself, left empty
        w.end();
        w.begin(ctxc(2));
        encodeTimeOfDay(w, ctx(0), entry.occurrenceTimeMs);
        w.begin(ctxc(2));
        w.begin(ctxc(1));
        for (const JournalVariable& variable : entry.variables) {
            w.begin(ber::tags::Sequence);
            w.string(ctx(0), variable.tag);
            w.begin(ctxc(1));
            encodeData(w, variable.value);
            w.end();
            w.end();
        }
        w.end();
        w.end();
        w.end();
        w.end();
    }
    w.end();
    if (r.moreFollows) {
        w.boolean(ctx(1), true);
    }
    w.end();
}

}  // namespace iecstack::mms::detail
