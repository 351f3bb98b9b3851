#include "names/stream_names.h"
#include "playlist/playlist_items.h"
#include "playlist/tag_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vantrel;

namespace {

// Lines the scanner hands out for a text fed in pieces cut at the given offsets.
std::vector<std::string> scan(const std::string& text, std::vector<std::size_t> cuts = {}) {
    TagScanner scanner;
    std::vector<std::string> lines;
    auto onLine = [&](const std::string& line) { lines.push_back(line); };
    std::size_t from = 0;
    cuts.push_back(text.size());
    for (std::size_t to : cuts) {
        scanner.feed(reinterpret_cast<const unsigned char*>(text.data()) + from, to - from, onLine);
        from = to;
    }
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TagScanner, ControlBytesInsideATagBecomeOneBlankAndBlanksAreCopied) {
    EXPECT_EQ(scan("<a\r\nb  c\n d\te x \ny>"), Lines{"<a b  c  d e x y>"});
    // Text and white space between tags never reach a line.
    EXPECT_EQ(scan("  <a>\n\ttext &amp; more\n</a>\n"), (Lines{"<a>", "</a>"}));
}

TEST(TagScanner, IndentsByNestingAndClosingTagsStandAtTheirOpeningLevel) {
    EXPECT_EQ(scan("<a><b/></a>"), (Lines{"<a>", "  <b/>", "</a>"}));
    EXPECT_EQ(scan("<a>\n <b>\n  <c x=\"1\"/>\n </b>\n <d/>\n</a>"),
              (Lines{"<a>", "  <b>", "    <c x=\"1\"/>", "  </b>", "  <d/>", "</a>"}));
}

TEST(TagScanner, DeclarationsAndCommentsLeaveTheDepthAlone) {
    TagScanner scanner;
    Lines lines;
    const std::string text = "<?xml version=\"1.0\"?>\n<!-- a\ncomment --><r><!--x--><c/></r>";
    scanner.feed(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                 [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(lines, (Lines{"<?xml version=\"1.0\"?>", "<!-- a comment -->", "<r>", "  <!--x-->", "  <c/>",
                            "</r>"}));
    EXPECT_EQ(scanner.depth(), 0);
    EXPECT_FALSE(scanner.inTag());
}

TEST(TagScanner, ADocumentTypeTagOpensALevelThatNeverCloses) {
    EXPECT_EQ(scan("<!DOCTYPE p><r><c/></r>"), (Lines{"<!DOCTYPE p>", "  <r>", "    <c/>", "  </r>"}));
}

TEST(TagScanner, ATagCutAnywhereIsAssembledWhole) {
    const std::string text = "<r>\n<Audio track=\"1\"\r\n streamNumber=\"2\"/></r>";
    const Lines whole = scan(text);
    ASSERT_EQ(whole, (Lines{"<r>", "  <Audio track=\"1\"  streamNumber=\"2\"/>", "</r>"}));
    for (std::size_t cut = 1; cut < text.size(); ++cut)
        EXPECT_EQ(scan(text, {cut}), whole) << "cut at " << cut;
    // A cut between "<" and "/" still moves the closing tag left.
    EXPECT_EQ(scan("<a></a>", {4}), (Lines{"<a>", "</a>"}));
}

TEST(TagScanner, AGreaterThanOutsideATagAddsThePendingIndentation) {
    EXPECT_EQ(scan("<a>x>y</a>"), (Lines{"<a>", "  ", "</a>"}));
    EXPECT_EQ(scan("a > b"), Lines{""});
}

TEST(TagScanner, IndentationStopsGrowingAtAHundredLevels) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<a>";
    const Lines lines = scan(deep);
    ASSERT_EQ(lines.size(), 300u);
    EXPECT_EQ(lines[99], std::string(198, ' ') + "<a>");
    EXPECT_EQ(lines[100], std::string(200, ' ') + "<a>");
    EXPECT_EQ(lines[299], std::string(200, ' ') + "<a>");
}

TEST(GetAttr, TakesTheFirstOccurrenceOfTheNameWithoutRegardToCase) {
    const std::string tag = "<Audio track=\"1\" streamNumber=\"2\" description=\"English\"/>";
    EXPECT_EQ(GetAttr(tag, "description"), "English");
    EXPECT_EQ(GetAttr(tag, "DESCRIPTION"), "English");
    EXPECT_EQ(GetAttr(tag, "streamnumber"), "2");
    EXPECT_EQ(GetAttr(tag, "missing"), "");
    EXPECT_EQ(GetAttr(tag, ""), "");
    // The first occurrence counts, even inside another attribute's name or value.
    EXPECT_EQ(GetAttr("<Item indexBase=\"7\" index=\"3\"/>", "index"), "7");
    EXPECT_EQ(GetAttr("<Item note=\"reindex it\" codec=\"X\" index=\"3\"/>", "index"), "X");
    // Only ASCII letters fold: other bytes must match exactly.
    EXPECT_EQ(GetAttr("<a \xE9t=\"1\"/>", "\xC9T"), "");
    EXPECT_EQ(GetAttr("<a \xE9t=\"1\"/>", "\xE9T"), "1");
}

TEST(GetAttr, UnderstandsOnlyDoubleQuotesWithinReach) {
    EXPECT_EQ(GetAttr("<Chapter displayName='One' titleTimeBegin=\"00:01:00:00\"/>", "displayName"),
              "00:01:00:00");
    EXPECT_EQ(GetAttr("<Chapter displayName='One'/>", "displayName"), "");
    EXPECT_EQ(GetAttr("<Title displayName>", "displayName"), "");
    EXPECT_EQ(GetAttr("<Title displayName=\"open", "displayName"), "");
    EXPECT_EQ(GetAttr("<Title a = \"spaced\"/>", "a"), "spaced");

    // The closing quote must lie within 255 characters after the name: `="` + value + `"`.
    const std::string fits(252, 'v');
    EXPECT_EQ(GetAttr("<T d=\"" + fits + "\"/>", "d"), fits);
    EXPECT_EQ(GetAttr("<T d=\"" + fits + "w\"/>", "d"), "");
}

TEST(GetAttrInt, ReadsWholeDecimalNumbersOnly) {
    auto value = [](const std::string& v) { return GetAttrInt("<A n=\"" + v + "\"/>", "n"); };
    EXPECT_EQ(value("12"), 12);
    EXPECT_EQ(value("  7"), 7);
    EXPECT_EQ(value("-3"), -3);
    EXPECT_EQ(value("+4"), 4);
    EXPECT_EQ(value("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(value("2147483647"), 2147483647);
    for (const char* bad : {"", " ", "-", "1.5", "12 ", "abc", "0x10", "2147483648", "99999999999999999999"})
        EXPECT_EQ(value(bad), 0) << bad;
    EXPECT_EQ(GetAttrInt("<A/>", "n"), 0);
}

TEST(ItemRules, FillTheAttributeTablesByIndex) {
    std::string name;
    AttrTable video, audio, sub;
    const ItemTargets targets{name, video, audio, sub};
    applyItemRules("  <VideoAttributeItem index=\"1\" codec=\"VC-1\"/>", targets);
    applyItemRules("  <AudioAttributeItem index=\"2\" codec=\"DD+\" channels=\"6\"/>", targets);
    applyItemRules("  <AudioAttributeItem index=\"3\" codec=\"MLP\" channels=\"\"/>", targets);
    applyItemRules("  <SubpictureAttributeItem index=\"8\" codec=\"8bitRLE\"/>", targets);
    EXPECT_EQ(video[1], "VC-1");
    EXPECT_EQ(audio[2], "DD+.6ch");
    EXPECT_EQ(audio[3], "MLP");
    EXPECT_EQ(sub[8], "8bitRLE");

    // Closing tags and items without a usable index write nothing.
    const AttrTable before = audio;
    for (const char* tag :
         {"</AudioAttributeItem>", "<AudioAttributeItem codec=\"X\"/>",
          "<AudioAttributeItem index=\"0\" codec=\"X\"/>", "<AudioAttributeItem index=\"9\" codec=\"X\"/>",
          "<AudioAttributeItem index=\"-1\" codec=\"X\"/>",
          "<AudioAttributeItem index=\"two\" codec=\"X\"/>"})
        applyItemRules(tag, targets);
    EXPECT_EQ(audio, before);
    EXPECT_TRUE(name.empty());
}

TEST(ItemRules, TheLastPlaylistTagWithADisplayNameWins) {
    std::string name;
    AttrTable video, audio, sub;
    const ItemTargets targets{name, video, audio, sub};
    applyItemRules("<Playlist xmlns=\"x\" displayName=\"First\">", targets);
    EXPECT_EQ(name, "First");
    applyItemRules("  <PlaylistApplication displayName=\"Second\"/>", targets);
    applyItemRules("</Playlist>", targets);
    EXPECT_EQ(name, "Second");
    // The presence test is case-sensitive; "Playlist" must be there too.
    applyItemRules("<Playlist DISPLAYNAME=\"Third\">", targets);
    applyItemRules("<Title displayName=\"Fourth\">", targets);
    EXPECT_EQ(name, "Second");
}

TEST(SelectTitle, CutsFromTheNearestTitleBeforeTheAnchorToTheNextClosingTitle) {
    const Lines lines{"<Playlist>", "  <title id=\"a\">", "    <Clip src=\"A.MAP\"/>",
                      "  </title>", "  <Title id=\"b\">", "    <Clip src=\"B.MAP\"/>",
                      "  </Title>", "</Playlist>"};
    auto span = selectTitle(lines, "B.MAP");
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 4);
    EXPECT_EQ(span->last, 6);
    span = selectTitle(lines, "A.MAP");
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 1);
    EXPECT_EQ(span->last, 3);
    EXPECT_FALSE(selectTitle(lines, "C.MAP"));
    EXPECT_FALSE(selectTitle(lines, ""));
    // Anchored on the first line: no title before it, so from the first line to the first closing title.
    span = selectTitle(lines, "<Playlist>");
    ASSERT_TRUE(span);
    EXPECT_EQ(span->first, 0);
    EXPECT_EQ(span->last, 3);
    // No closing title at all: through the last line.
    span = selectTitle({"<Title x>", "<Clip B.MAP/>"}, "B.MAP");
    ASSERT_TRUE(span);
    EXPECT_EQ(span->last, 1);
}

TEST(Captions, NumberStreamsFromZeroWithTwoDigitsBelowTen) {
    EXPECT_EQ(videoCaption("VC-1", 1), "VC-1.stream.0");
    EXPECT_EQ(videoCaption("", 2), ".stream.1");
    EXPECT_EQ(streamCaption("DD+.6ch", 2, "English"), "DD+.6ch.stream.01.English");
    EXPECT_EQ(streamCaption("DD+", 1, ""), "DD+.stream.00.");
    EXPECT_EQ(streamCaption("DD+", 10, "x"), "DD+.stream.09.x");
    EXPECT_EQ(streamCaption("DD+", 11, "x"), "DD+.stream.10.x");
    EXPECT_EQ(streamCaption("DD+", 0, "x"), "DD+.stream.-1.x");
}
