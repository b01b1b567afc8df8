#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_format.hpp"
#include "setup/set_up_model.hpp"

namespace {

// The worked example: a definition, two labels (one with quotes to escape)
// and the exact bytes they are saved as.
const PollDefinition example_poll{1, 3, 100, 10, 500};

const char* const example_file =
    "Brenvaldor V.1.0.0\n"
    "POLL slave=1 fcode=3 address=100 length=10 scan_rate=500\n"
    "LABELS 2\n"
    "LABEL 100 \"Pump 1\"\n"
    "LABEL 105 \"Flow \\\"main\\\"\"\n";

LabelStore example_labels()
{
    LabelStore labels;
    set_label(labels, 100, "Pump 1");
    set_label(labels, 105, "Flow \"main\"");
    return labels;
}

// The outcome of reading text over the initial definition and a store
// that held a label before.
struct Loaded {
    ConfigReadResult result;
    PollDefinition poll;
    LabelStore labels;
};

Loaded load(std::string_view text, PollDefinition start = PollDefinition{})
{
    Loaded loaded{{}, start, {}};
    set_label(loaded.labels, 9, "held before");
    loaded.result = read_configuration(text, loaded.poll, loaded.labels);
    return loaded;
}

Point typed(PointKind kind, ValueFormat format = ValueFormat::UINT, WordOrder order = WordOrder::AB_CD,
            uint8_t registers = 1)
{
    Point point;
    point.kind = kind;
    point.format = format;
    point.order = order;
    point.registers = registers;
    return point;
}

}  // namespace

TEST(ConfigWriter, WritesTheWorkedExampleAndAnEmptyStoreByteForByte)
{
    EXPECT_EQ(write_configuration(example_poll, example_labels()), example_file);
    EXPECT_EQ(write_configuration(PollDefinition{}, LabelStore{}),
              "Brenvaldor V.1.0.0\n"
              "POLL slave=245 fcode=3 address=0 length=20 scan_rate=1000\n"
              "LABELS 0\n");
}

TEST(ConfigFormat, EscapesOnlyTheFiveBytesAndReadsBackWhatItWrote)
{
    const PollDefinition largest{255, 4, 65535, 255, 4294967295u};
    LabelStore labels = example_labels();
    set_label(labels, 1, "a\\b\"c\td\re\nf");
    set_label(labels, 0, "");
    set_label(labels, 3, "Grüße \x01 #");
    set_label(labels, 65535, "last \\");
    std::string text = write_configuration(largest, labels);
    EXPECT_NE(text.find("LABEL 1 \"a\\\\b\\\"c\\td\\re\\nf\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("LABEL 0 \"\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("LABEL 3 \"Grüße \x01 #\"\n"), std::string::npos) << text;

    Loaded loaded = load(text);
    ASSERT_TRUE(loaded.result.ok);
    EXPECT_EQ(loaded.poll, largest);
    EXPECT_EQ(loaded.labels.entries, labels.entries);
}

TEST(ConfigReader, ReadsCrLfBlanksCommentsAndOtherHeadersLikeThePlainFile)
{
    const char* variants[] = {
        "Brenvaldor V.1.0.0\r\nPOLL slave=1 fcode=3 address=100 length=10 scan_rate=500\r\nLABELS 2\r\n"
        "LABEL 100 \"Pump 1\"\r\nLABEL 105 \"Flow \\\"main\\\"\"\r\n",
        "  Brenvaldor V.1.0.0\n\t POLL slave=1 fcode=3 address=100 length=10 scan_rate=500  \n  LABELS 2\n"
        "\tLABEL 100 \"Pump 1\"\t\n   LABEL  105   \"Flow \\\"main\\\"\" \n",
        "# saved by hand\nBrenvaldor V.1.0.0\n#POLL slave=7\n\nPOLL slave=1 fcode=3 address=100 length=10 "
        "scan_rate=500\n# LABEL 1 \"no\"\nLABELS 2\nLABEL 100 \"Pump 1\"\nLABEL 105 \"Flow \\\"main\\\"\"\n#",
        // no header at all, and no final LF
        "POLL slave=1 fcode=3 address=100 length=10 scan_rate=500\nLABEL 100 \"Pump 1\"\nLABEL 105 \"Flow \\\"main\\\"\"",
        // another version, keys in another order, a stray count and unknown lines
        "Brenvaldor V.9.9 beta\nPOLL scan_rate=500 length=10  address=100 fcode=3 slave=1 colour=red bare\n"
        "LABELS 17\nHELLO world\nLABEL 100 \"Pump 1\"\nLABEL 105 \"Flow \\\"main\\\"\"\n",
    };
    for (const char* text : variants) {
        SCOPED_TRACE(text);
        Loaded loaded = load(text);
        ASSERT_TRUE(loaded.result.ok) << "line " << loaded.result.failed_line;
        EXPECT_EQ(loaded.poll, example_poll);
        EXPECT_EQ(loaded.labels.entries, example_labels().entries);
    }
}

TEST(ConfigReader, SetsOnlyTheFieldsThatTheFileNames)
{
    PollDefinition start{17, 2, 300, 40, 250};
    Loaded loaded = load("POLL length=5", start);
    ASSERT_TRUE(loaded.result.ok);
    EXPECT_EQ(loaded.poll, (PollDefinition{17, 2, 300, 5, 250}));
}

TEST(ConfigReader, AppliesTheFieldRangesAndTheFunctionCodeRule)
{
    struct Case {
        const char* piece;
        bool ok;
        PollDefinition expected;
    };
    const PollDefinition d{};
    const Case cases[] = {
        {"fcode=1", true, {245, 1, 0, 20, 1000}},   {"fcode=2", true, {245, 2, 0, 20, 1000}},
        {"fcode=7", true, {245, 3, 0, 20, 1000}},   {"fcode=0", true, {245, 3, 0, 20, 1000}},
        {"fcode=255", true, {245, 3, 0, 20, 1000}}, {"fcode=300", false, d},
        {"slave=+1_0", true, {10, 3, 0, 20, 1000}}, {"slave=-0", true, {0, 3, 0, 20, 1000}},
        {"slave=-1", false, d},                     {"slave=256", false, d},
        {"length=0", true, {245, 3, 0, 0, 1000}},   {"length=256", false, d},
        {"address=65536", false, d},                {"scan_rate=4294967296", false, d},
        {"Slave=9", true, d},                       {"slave==1", false, d},
        {"slave\t=1", true, d},                     {"slave=1\tfcode=2", false, d},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.piece);
        Loaded loaded = load(std::string("Brenvaldor V.1.0.0\nPOLL ") + c.piece + "\n");
        EXPECT_EQ(loaded.result.ok, c.ok);
        EXPECT_EQ(loaded.result.failed_line, c.ok ? 0u : 2u);
        EXPECT_EQ(loaded.poll, c.expected);
    }
}

TEST(ConfigReader, KeepsLabelOrderWhenAddressRepeats)
{
    Loaded loaded = load("LABEL 5 \"first\"\nLABEL 6 \"six\"\nLABEL 5 \"second\"\n");
    ASSERT_TRUE(loaded.result.ok);
    EXPECT_EQ(loaded.labels.entries, (std::vector<LabelEntry>{{5, "second"}, {6, "six"}}));
}

TEST(ConfigReader, ParsesQuotesAndEscapesOfLabelLines)
{
    using namespace std::string_view_literals;
    struct Case {
        std::string_view line;
        std::string_view text;
    };
    const Case cases[] = {
        {"LABEL 1 \"\"", ""},
        {"LABEL 1 \"", ""},                    // a lone quote
        {"LABEL 1 \"open", "open"},            // no closing quote
        {"LABEL 1 \"a\" b\"", "a\" b"},        // first and last quote frame the text
        {"LABEL 1 \"x\\q\\\\y\"", "xq\\y"},    // unknown escape gives the character
        {"LABEL 1 \"tail\\\"", "tail"},        // the closing quote escaped: the backslash is dropped
        {"LABEL 1 \" in \t\"", " in \t"},      // blanks inside the quotes stay
        {"LABEL +0_1   \"x\"", "x"},
        {"LABEL 1\t \"x\"", "x"},
        {"LABEL 1 \"a\0b\""sv, "a\0b"sv},
        {"LABEL 1 \"Grüße 20 €\"", "Grüße 20 €"},
        {"LABEL 1 \"\xF0\x9F\x98\x80\x7F\"", "\xF0\x9F\x98\x80\x7F"},
        {"LABEL 1 \"\\\xC3\xBC\"", "\xC3\xBC"},  // an escaped UTF-8 sequence stays whole
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line));
        Loaded loaded = load(c.line);
        ASSERT_TRUE(loaded.result.ok);
        ASSERT_EQ(loaded.labels.entries.size(), 1u);
        EXPECT_EQ(loaded.labels.entries[0].address, 1u);
        EXPECT_EQ(loaded.labels.entries[0].text, c.text);
    }
}

TEST(ConfigReader, FailsAtTheFirstMalformedLabelLine)
{
    // the last six are not UTF-8: Latin-1, a cut sequence, an overlong slash,
    // a surrogate, beyond U+10FFFF, a cut three-byte sequence
    const char* lines[] = {"LABEL 5 x", "LABEL 5", "LABEL 5\t\"x\"", "LABEL x \"x\"", "LABEL 65536 \"x\"",
                           "LABEL -1 \"x\"", "LABEL  \"x\"", "LABEL 5 \"Gr\xFC\xDF" "e\"", "LABEL 5 \"\xC3\"",
                           "LABEL 5 \"\xC0\xAF\"", "LABEL 5 \"\xED\xA0\x80\"", "LABEL 5 \"\xF4\x90\x80\x80\"",
                           "LABEL 5 \"\xE2\x82\""};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        Loaded loaded = load(std::string("Brenvaldor V.1.0.0\nPOLL slave=1\nLABEL 1 \"one\"\n") + line +
                             "\nLABEL 2 \"two\"\nPOLL slave=2\n");
        EXPECT_FALSE(loaded.result.ok);
        EXPECT_EQ(loaded.result.failed_line, 4u);
    }
    // "LABEL" alone is too short to be a label line, "LABELS" is the count line
    EXPECT_TRUE(load("LABEL\nLABELS\nLABELS x\nLABELX 1 \"x\"").result.ok);
}

// Given three definitions with names, labels, formats and orders, expect
// the bytes to read back whole; a second POLL line takes the keys it does
// not set from the definition before it; one definition with nothing else
// set is today's file; and any malformed line, or one definition too many,
// refuses the file at that line.
TEST(ConfigFormat, SeveralDefinitionsRoundTripAndRefuseWhatIsMalformed)
{
    std::vector<DefinitionSetUp> saved(3);
    saved[0] = {example_poll, example_labels(), "Drive \"A\"", ValueFormat::FLOAT32, WordOrder::CD_AB, {}, {}};
    saved[1] = {PollDefinition{2, 1, 0, 16, 0}, {}, "", ValueFormat::UINT, WordOrder::AB_CD, {}, {}};
    saved[2] = {PollDefinition{3, 4, 7, 2, 100}, {}, "Meter · énergie", ValueFormat::HEX, WordOrder::AB_CD, {}, {}};
    set_label(saved[1].labels, 3, "Door open");
    std::string bytes = write_configuration(saved);
    EXPECT_NE(bytes.find("POLL slave=1 fcode=3 address=100 length=10 scan_rate=500 format=FLOAT32 order=CD_AB\n"
                         "NAME \"Drive \\\"A\\\"\"\nLABELS 2\n"),
              std::string::npos)
        << bytes;

    std::vector<DefinitionSetUp> read;
    ASSERT_TRUE(read_configuration(bytes, PollDefinition{}, read).ok);
    ASSERT_EQ(read.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read[i].poll, saved[i].poll);
        EXPECT_EQ(read[i].labels.entries, saved[i].labels.entries);
        EXPECT_EQ(read[i].name, saved[i].name);
        EXPECT_EQ(read[i].format, saved[i].format);
        EXPECT_EQ(read[i].order, saved[i].order);
    }
    EXPECT_EQ(write_configuration({DefinitionSetUp{example_poll, example_labels(), {}, ValueFormat::UINT, WordOrder::AB_CD, {}, {}}}), example_file);

    ASSERT_TRUE(read_configuration("POLL slave=3 address=7\nLABEL 1 \"x\"\nPOLL address=8 length=0",
                                   PollDefinition{17, 2, 300, 40, 250}, read).ok);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].poll, (PollDefinition{3, 2, 7, 40, 250}));
    EXPECT_EQ(read[1].poll, (PollDefinition{3, 2, 8, 0, 250}));
    EXPECT_EQ(read[1].labels.entries.size(), 0u) << "labels belong to the POLL line before them";

    std::string too_many;
    for (size_t i = 0; i <= max_poll_definitions; ++i)
        too_many += "POLL slave=1\n";
    const std::pair<std::string, size_t> refused[] = {
        {"POLL slave=1 format=FLOAT16", 1}, {"POLL slave=1\nPOLL order=AB-CD", 2},
        {"POLL slave=1\nNAME Drive", 2}, {"NAME \"\xff\"", 1}, {too_many, max_poll_definitions + 1}};
    for (const auto& [text, line] : refused) {
        SCOPED_TRACE(text.substr(0, 40));
        ConfigReadResult result = read_configuration(text, PollDefinition{}, read);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failed_line, line);
    }
}

TEST(ConfigFormat, ConnectionAndChartLinesRoundTripAndEarlierFilesReadAsBefore)
{
    SetUpRecord set_up;
    set_up.definitions.resize(2);
    set_up.definitions[0].poll = example_poll;
    set_up.definitions[0].chart = {100, 104};
    set_up.definitions[1].chart = {7};
    ConnectionSettings tcp;
    tcp.use_tcp = true;
    tcp.device = "plc \"north\"";
    tcp.baud_or_port = 1502;
    tcp.tcp_framing = TcpFraming::rtu;
    tcp.keep_open = true;
    tcp.response_timeout_ms = 250;
    set_up.connection = tcp;
    std::string text = write_configuration(set_up);
    EXPECT_EQ(text,
              "Brenvaldor V.1.0.0\n"
              "CONNECTION type=tcp port=1502 parity=N data_bits=8 stop_bits=1 serial_mode=rtu tcp_mode=rtu "
              "timeout=250 keep_open=yes\n"
              "DEVICE \"plc \\\"north\\\"\"\n"
              "POLL slave=1 fcode=3 address=100 length=10 scan_rate=500\n"
              "LABELS 0\n"
              "CHART 100\n"
              "CHART 104\n"
              "POLL slave=245 fcode=3 address=0 length=20 scan_rate=1000\n"
              "LABELS 0\n"
              "CHART 7\n");

    SetUpRecord read;
    ASSERT_TRUE(read_configuration(text, PollDefinition{}, read).ok);
    ASSERT_EQ(read.definitions.size(), 2u);
    EXPECT_EQ(read.definitions[0].chart, (std::vector<uint16_t>{100, 104}));
    EXPECT_EQ(read.definitions[1].chart, (std::vector<uint16_t>{7}));
    EXPECT_EQ(read.connection, tcp);

    // A serial line; then default settings, which write no line at all.
    ConnectionSettings serial;
    serial.device = "/dev/ttyUSB0";
    serial.baud_or_port = 9600;
    serial.parity = 'E';
    serial.stop_bits = 2;
    serial.serial_framing = SerialFraming::ascii;
    set_up.connection = serial;
    ASSERT_TRUE(read_configuration(write_configuration(set_up), PollDefinition{}, read).ok);
    EXPECT_EQ(read.connection, serial);
    set_up = SetUpRecord{};
    set_up.definitions.resize(1);
    set_up.connection = ConnectionSettings{};
    EXPECT_EQ(write_configuration(set_up), write_configuration(PollDefinition{}, LabelStore{}));

    // An earlier file holds no connection: none is read, so the settings stay.
    ASSERT_TRUE(read_configuration(example_file, PollDefinition{}, read).ok);
    EXPECT_FALSE(read.connection.has_value());
    EXPECT_TRUE(read.definitions[0].chart.empty());

    // What the program cannot use fails at its line; unknown pieces do not.
    for (const char* bad : {"CONNECTION type=usb", "CONNECTION parity=X", "CONNECTION type=tcp port=70000",
                            "CONNECTION data_bits=9", "CONNECTION keep_open=maybe", "CHART 65536", "CHART x",
                            "DEVICE /dev/ttyS0"}) {
        ConfigReadResult result = read_configuration(std::string("Brenvaldor V.1.0.0\n") + bad, PollDefinition{}, read);
        EXPECT_FALSE(result.ok) << bad;
        EXPECT_EQ(result.failed_line, 2u) << bad;
    }
    ASSERT_TRUE(read_configuration("CONNECTION colour=red baud=1200\n", PollDefinition{}, read).ok);
    EXPECT_EQ(read.connection->baud_or_port, 1200u);
}

// Given three connections (a serial line and two servers, names with
// blanks and quotes) and definitions spread over them, expect the file to
// bring back each connection and which one each definition polls over,
// the same bytes when written again, and the first's lines alone where an
// earlier program looks; an earlier file loads as one connection.
TEST(ConfigFormat, SeveralConnectionsRoundTripAndEarlierFilesLoadAsOne)
{
    SetUpModel model;
    start_set_up(model, example_poll);
    ConnectionSettings serial;
    serial.device = "/dev/ttyUSB0";
    serial.baud_or_port = 9600;
    set_connection(model, serial);
    rename_connection(model, model.connections[0].serial, "Line \"A\"");
    ConnectionSettings tcp;
    tcp.use_tcp = true;
    tcp.device = "plc.example";
    tcp.baud_or_port = 1502;
    uint32_t drive = add_connection(model, "Drive 2 \"west\"", tcp)->serial;
    tcp.device = "10.0.0.9";
    tcp.keep_open = true;
    uint32_t meter = add_connection(model, "Meter", tcp)->serial;
    set_definition_connection(model, *add_definition(model, PollDefinition{2, 4, 0, 6, 500}), meter);
    set_definition_connection(model, *add_definition(model, PollDefinition{3, 3, 9, 2, 500}), drive);
    add_definition(model, PollDefinition{4, 1, 0, 8, 500});

    std::string text = write_configuration(set_up_of(model));
    size_t first_lines = 0;
    for (std::string_view line : {"\nCONNECTION ", "\nDEVICE "})
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            ++first_lines;
    EXPECT_EQ(first_lines, 2u) << "an earlier program reads the first connection only\n" << text;
    SetUpRecord read;
    ASSERT_TRUE(read_configuration(text, PollDefinition{}, read).ok);
    SetUpModel loaded;
    start_set_up(loaded, PollDefinition{});
    replace_set_up(loaded, std::move(read));
    ASSERT_EQ(loaded.connections.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.connections[i].name, model.connections[i].name);
        EXPECT_EQ(loaded.connections[i].settings, model.connections[i].settings);
    }
    ASSERT_EQ(loaded.definitions.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(connection_of(loaded, *loaded.definitions[i]).name,
                  connection_of(model, *model.definitions[i]).name);
    EXPECT_EQ(write_configuration(set_up_of(loaded)), text);

    ASSERT_TRUE(read_configuration(example_file, PollDefinition{}, read).ok);
    replace_set_up(loaded, std::move(read));
    ASSERT_EQ(loaded.connections.size(), 1u);
    EXPECT_EQ(loaded.connections[0].settings, model.connections[0].settings) << "a file without settings keeps them";
    EXPECT_EQ(loaded.definitions[0]->connection, loaded.connections[0].serial);
}

// Given a point of every kind, expect the file to sit its lines between
// the labels and the chart, read back the same points and write the same
// bytes again; a definition with labels and a chart but no point is
// written as before.
TEST(ConfigFormat, PointsOfEveryKindRoundTripBetweenLabelsAndChart)
{
    SetUpRecord set_up;
    set_up.definitions.resize(2);
    std::map<uint16_t, Point>& points = set_up.definitions[0].points;
    for (unsigned i = 0; i < 10; ++i)
        points[uint16_t(i)] = typed(PointKind::format, ValueFormat(i), WordOrder(i % 4));
    points[10] = typed(PointKind::format, ValueFormat::UINT32, WordOrder::CD_AB);
    points[10].scale = 0.1;
    points[10].offset = -40;
    points[10].decimals = 1;
    points[10].unit = "°C";
    points[11] = typed(PointKind::bcd);
    points[12] = typed(PointKind::bcd, ValueFormat::UINT, WordOrder::DC_BA, 2);
    points[13] = typed(PointKind::string, ValueFormat::UINT, WordOrder::AB_CD, 8);
    points[13].swapped_bytes = true;
    points[14] = typed(PointKind::string, ValueFormat::UINT, WordOrder::AB_CD, longest_point_string);
    points[15] = typed(PointKind::bits);
    points[15].bit_names = {{0, "Run"}, {15, "Over \"temp\""}};
    points[16].scale = 1e-300;
    points[16].offset = 123456.789;
    points[16].decimals = 0;
    points[17].value_names = {{INT64_MIN, "lowest"}, {0, "Stopped"}, {3, ""}};
    DefinitionSetUp& second = set_up.definitions[1];
    set_label(second.labels, 3, "Door");
    second.chart = {5};
    second.points[5].unit = "m³ \"wet\"\t\\";
    second.points[5].value_names[-2] = "Low";

    std::string bytes = write_configuration(set_up);
    EXPECT_NE(bytes.find("POINT 10 type=UINT32 order=CD_AB scale=0.1 offset=-40 decimals=1 unit=\"°C\"\n"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("LABELS 1\nLABEL 3 \"Door\"\nPOINT 5 unit=\"m³ \\\"wet\\\"\\t\\\\\"\nVALUE 5 -2 \"Low\"\n"
                         "CHART 5\n"),
              std::string::npos)
        << bytes;
    SetUpRecord read;
    ASSERT_TRUE(read_configuration(bytes, PollDefinition{}, read).ok);
    ASSERT_EQ(read.definitions.size(), 2u);
    EXPECT_EQ(read.definitions[0].points, points);
    EXPECT_EQ(read.definitions[1].points, second.points);
    EXPECT_EQ(write_configuration(read), bytes);

    DefinitionSetUp charted{example_poll, example_labels(), {}, ValueFormat::UINT, WordOrder::AB_CD, {100}, {}};
    EXPECT_EQ(write_configuration({charted}), std::string(example_file) + "CHART 100\n");
}

TEST(ConfigReader, RefusesMalformedPointLinesAtTheirLine)
{
    const std::string start = "Brenvaldor V.1.0.0\nPOLL slave=1\nPOINT 7 type=BITS\n";
    const std::pair<const char*, size_t> refused[] = {
        {"POINT 8 type=FLOAT16", 4},           {"POINT 8 type=UINT32 scale=0", 4},
        {"POINT 8 scale=inf", 4},               {"POINT 8 scale=nan", 4},
        {"POINT 8 offset=1e999", 4},            {"POINT 8 scale=1,5", 4},
        {"POINT 8 type=STRING registers=0", 4}, {"POINT 8 type=STRING registers=65", 4},
        {"POINT 8 type=BCD32 registers=1", 4},  {"POINT 8 type=UINT registers=2", 4},
        {"POINT 8 type=INT bytes=swapped", 4},  {"POINT 8 type=STRING bytes=odd", 4},
        {"POINT 8 order=AB-CD", 4},             {"POINT 8 decimals=-2", 4},
        {"POINT 8 unit=\"open", 4},             {"POINT 8 unit=\"a\"b", 4},
        {"POINT 8 unit=C", 4},                  {"POINT 8 unit=\"\xff\"", 4},
        {"POINT 65536", 4},                     {"POINT 7 type=INT", 4},
        {"VALUE 8 0 \"x\"", 4},                 {"VALUE 7 x \"x\"", 4},
        {"VALUE 7 9223372036854775808 \"x\"", 4}, {"VALUE 7 0 x", 4},
        {"BIT 7 16 \"x\"", 4},                  {"BIT 7 -1 \"x\"", 4},
        {"POLL slave=2\nBIT 7 0 \"x\"", 5},
    };
    SetUpRecord read;
    for (const auto& [line, number] : refused) {
        SCOPED_TRACE(line);
        ConfigReadResult result = read_configuration(start + line + "\nLABEL 1 \"x\"\n", PollDefinition{}, read);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failed_line, number);
    }

    // Unknown pieces are passed over, and a POINT line that sets nothing
    // leaves no point.
    ASSERT_TRUE(read_configuration(start + "POINT 8 colour=\"dark red\" type=INT shade=3\nPOINT 9\n"
                                           "VALUE 7 -9223372036854775808 \"lowest\"",
                                   PollDefinition{}, read).ok);
    std::map<uint16_t, Point> expected{{7, typed(PointKind::bits)}, {8, typed(PointKind::format, ValueFormat::INT)}};
    expected[7].value_names[INT64_MIN] = "lowest";
    EXPECT_EQ(read.definitions[0].points, expected);
}
