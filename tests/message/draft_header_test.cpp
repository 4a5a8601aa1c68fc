#include "message/draft_header.h"
#include "support/test_support.h"

namespace qm::test {
namespace {

names fields_of(std::string_view text) {
    names out;
    for (const header_field& f : draft_header_fields(text)) out.push_back(f.name + "|" + f.value);
    return out;
}

TEST(DraftHeader, LinesEndAtLineFeedsAndAtCarriageReturnsOnTheirOwn) {
    const std::string_view text = "a\nb\r\nc\rd\r\r\ne";
    const std::vector<std::string_view> lines = draft_lines(text);
    EXPECT_EQ(names(lines.begin(), lines.end()), (names{"a", "b", "c", "d", "", "e"}));
    EXPECT_TRUE(draft_lines("").empty());
    EXPECT_EQ(draft_lines("x\n").size(), 1u);
}

TEST(DraftHeader, FieldsAreReadWholeWithTheirContinuations) {
    const std::string long_value(5000, 'v');
    EXPECT_EQ(fields_of("To: a@example.com,\n b@example.com\n\n\tc@example.com\nTopic: x@example.com\nTo : " + long_value +
                        "\nno field here\n continues nothing\nSubject:\rX-A:1"),
              (names{"To| a@example.com, b@example.com\tc@example.com", "Topic| x@example.com", "To| " + long_value,
                     "Subject|", "X-A|1"}));
}

// "sender -> recipient, ..." or the fault with what it names.
std::string envelope_of(std::string_view utf8_header, std::size_t limit = 238) {
    envelope_reading r = read_draft_envelope(draft_header_fields(sj(utf8_header)), limit);
    switch (r.fault) {
    case envelope_fault::no_sender:
        return "no sender";
    case envelope_fault::no_recipient:
        return "no recipient";
    case envelope_fault::unusable_address:
        return "unusable: " + u8(r.unusable);
    default:
        break;
    }
    std::string out = r.envelope.sender + " ->";
    for (const std::string& recipient : r.envelope.recipients) out += " " + recipient;
    return out;
}

TEST(DraftHeader, TheEnvelopeNamesEveryAddressOrSaysWhichItCannotUse) {
    const std::pair<std::string, std::string> cases[] = {
        {"Bcc: h@example.com\nFrom: アリス <a@example.com>, b@example.com\nCc: c@example.com\n"
         "To: taro@example.com (鈴木\n 一郎), x@example.com\nTopic: topic@example.com\nResent-To: r@example.com\n"
         "To: second@example.com\n",
         "a@example.com -> taro@example.com x@example.com second@example.com c@example.com h@example.com"},
        {"from: a@example.com\nTO: undisclosed-recipients:;\nbcc: h@example.com\n", "a@example.com -> h@example.com"},
        {"To: t@example.com\n", "no sender"},
        {"From: (nobody)\nTo: t@example.com\n", "unusable: (nobody)"},
        {"From: a@example.com\nTo: t@example.com, 鈴木 一郎\n", "unusable: 鈴木 一郎"},
        {"From: a@example.com\nTopic: t@example.com\nTo: undisclosed-recipients:;\n", "no recipient"},
    };
    for (const auto& [header, expected] : cases) EXPECT_EQ(envelope_of(header), expected) << header;
    // An address longer than a command can carry is not cut into someone else's.
    const std::string long_address = std::string(20, 'u') + "@example.com";
    EXPECT_EQ(envelope_of("From: a@example.com\nTo: " + long_address + "\n", long_address.size()),
              "a@example.com -> " + long_address);
    EXPECT_EQ(envelope_of("From: a@example.com\nTo: " + long_address + "\n", long_address.size() - 1),
              "unusable: " + long_address);
}

}  // namespace
}  // namespace qm::test
