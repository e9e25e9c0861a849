// The KML document writer and the point selections of the exporters, run
// in memory: record layouts, value classes, thinning, node counting; and the
// document file, whose blocks a second thread stores.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cmath>
#include <csignal>
#include <limits>
#include <string>
#include <vector>

#include "document_file.hpp"
#include "kml_document.hpp"
#include "kml_tools.hpp"
#include "nc_test_support.hpp"
#include "record_layout.hpp"
#include "test_support.hpp"

namespace rn::kml {
namespace {

/// Runs `write` on a document of `variant` held in a string.
template <typename Write>
std::string render(const Variant& variant, Write write) {
  std::string text;
  {
    TextOut out(&text);
    KmlDocument doc(out, variant);
    write(doc);
  }
  return text;
}

TEST(KmlDocument, PlacemarkRecordsAsWritten) {
  const std::string value = render(kFlowglobeVariant, [](KmlDocument& doc) {
    doc.write_value_placemark(40.1f, -105.25f, 3, 12.5f, 12, "blue  ", " ,orderin=,");
  });
  EXPECT_EQ(value,
            " <Placemark>\n <description>\n"
            " k=          12  ,orderin=,           3  ,streamflow=   12.5000000    \n"
            " </description>\n <styleUrl>#blue</styleUrl>\n <Point>\n    <coordinates>\n"
            "  -105.250000     ,   40.0999985    \n"
            " </coordinates>\n </Point>\n </Placemark>\n");

  // Extreme numbers keep their fields: exponent form, zero, the lowest integer.
  const std::string extremes = render(kFlowglobeSegVariant, [](KmlDocument& doc) {
    doc.write_segment_placemark(0.05f, 0.0f, -2147483647 - 1, 1, 2, 3);
  });
  EXPECT_NE(extremes.find("\n   5.00000007E-02 ,   0.00000000     , -2147483648 ,(ii,jj)"),
            std::string::npos);
}

// A layout writes the bytes of the records it stands for, whatever the
// values: every join of texts and numbers, fields at their limits, empty and
// long texts (beyond the layout's own stack room).
TEST(RecordLayout, WritesTheBytesOfTheRecordsItStandsFor) {
  RecordLayout layout;
  layout.record("<Placemark>")
      .record(TextSlot{}, "<name>", IntSlot{}, TextSlot{}, "</name>")
      .record(RealSlot{}, ",", RealSlot{}, ",", IntSlot{}, IntSlot{}, RealSlot{}, TextSlot{},
              TextSlot{})
      .record(IntSlot{});
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float r1, r2, r3;
    std::int32_t i1, i2, i3, i4;
    std::string t1, t2, t3, t4;
  };
  const Case cases[] = {
      {40.1f, -105.25f, 12.5f, 5, 3, -1, 0, "", "", "", ""},
      {0.0f, -0.0f, 0.05f, INT_MIN, INT_MAX, 0, 7, "a", "b&c", "", "z"},
      {std::nanf(""), -inf, inf, -2, 10, 100, INT_MIN, "Gauge 7", "", "x", ""},
      {1e-45f, 3.4028235e38f, -1e9f, 1, 2, 3, 4, std::string(2000, 'n'), "t", "u",
       std::string(300, 'v')},
  };
  for (const Case& c : cases) {
    std::string by_layout, by_records;
    {
      TextOut out(&by_layout);
      layout.write(out, c.t1, c.i1, c.t2, c.r1, c.r2, c.i2, c.i3, c.r3, c.t3, c.t4, c.i4);
    }
    {
      TextOut out(&by_records);
      out.record("<Placemark>");
      out.record(c.t1, "<name>", c.i1, c.t2, "</name>");
      out.record(c.r1, ",", c.r2, ",", c.i2, c.i3, c.r3, c.t3, c.t4);
      out.record(c.i4);
    }
    EXPECT_EQ(by_layout, by_records) << c.t1.size() << " " << c.i1;
  }
  std::string with_empty_views;
  {
    TextOut out(&with_empty_views);
    const std::string_view none;  // no data at all
    layout.write(out, none, 1, none, 2.0f, 3.0f, 4, 5, 6.0f, none, none, 7);
  }
  EXPECT_EQ(with_empty_views.substr(0, 21), " <Placemark>\n <name> ");
  std::string unused;
  TextOut out(&unused);
  EXPECT_THROW(layout.write(out, 1), std::logic_error);  // too few values
  EXPECT_THROW(layout.write(out, "", 1, "", 1, 2.0f, 3, 4, 5.0f, "", "", 6),  // int for a real
               std::logic_error);
}

TEST(KmlDocument, NamesAreEscapedOnlyWhereNeeded) {
  std::string scratch;
  EXPECT_EQ(escape_name("Plain name", scratch), "Plain name");
  EXPECT_EQ(escape_name(R"(A&B <c> "d" 'e')", scratch),
            "A&amp;B &lt;c&gt; &quot;d&quot; &apos;e&apos;");
}

TEST(ValueClasses, BoundsOfBothTables) {
  const auto below = [](float v) { return std::nextafter(v, 0.0f); };
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::span<const ValueClass> table;
    float value;
    std::string_view style;
  };
  const Case cases[] = {
      {kStandardClasses, 3.99f, ""},       {kStandardClasses, below(4.0f), ""},
      {kStandardClasses, 4.0f, "blue"},    {kStandardClasses, below(8.0f), "blue"},
      {kStandardClasses, 8.0f, "green"},   {kStandardClasses, 16.0f, "yellow"},
      {kStandardClasses, 32.0f, "orange"}, {kStandardClasses, 64.0f, "red"},
      {kStandardClasses, below(128.0f), "red"}, {kStandardClasses, 128.0f, "purple"},
      {kStandardClasses, inf, "purple"},   {kStandardClasses, std::nanf(""), ""},
      {kMaximumClasses, 9.99f, ""},        {kMaximumClasses, 10.0f, "blue"},
      {kMaximumClasses, 20.0f, "green"},   {kMaximumClasses, 50.0f, "yellow"},
      {kMaximumClasses, 100.0f, "orange"}, {kMaximumClasses, 500.0f, "red"},
      {kMaximumClasses, below(1000.0f), "red"}, {kMaximumClasses, 1000.0f, "purple"},
  };
  for (const Case& c : cases) EXPECT_EQ(value_class(c.table, c.value), c.style) << c.value;
}

TEST(Thinning, ColumnsOrRowsOnMultiples) {
  EXPECT_TRUE(on_thinned_grid(6, 7, 3));
  EXPECT_FALSE(on_thinned_grid(7, 8, 3));
  EXPECT_TRUE(on_thinned_grid(7, 9, 3));
  EXPECT_TRUE(on_thinned_grid(-6, 1, 3));   // negative column
  EXPECT_TRUE(on_thinned_grid(1, -9, 3));   // negative row
  EXPECT_FALSE(on_thinned_grid(-7, -8, 3));
  EXPECT_TRUE(on_thinned_grid(0, 1, 3));    // 0 is a multiple of everything
  EXPECT_TRUE(on_thinned_grid(6, 7, -3));   // the sign of the step does not matter
  EXPECT_TRUE(on_thinned_grid(7, 8, 1));
  EXPECT_TRUE(on_thinned_grid(-2147483647 - 1, 1, -1));  // no overflow
  EXPECT_FALSE(on_thinned_grid(-2147483647 - 1, 1, 2147483647));
}

ChannelPoints points_with_values(std::initializer_list<float> values) {
  ChannelPoints p;
  for (float v : values) {
    p.values.push_back(v);
    p.lat.push_back(1.0f);
    p.lon.push_back(2.0f);
    p.order.push_back(1);
    p.chanxi.push_back(1);
    p.chanyj.push_back(1);
  }
  return p;
}

std::string styles_of(const std::string& doc) {
  std::string styles;
  for (std::size_t at = doc.find("#"); at != std::string::npos; at = doc.find("#", at + 1)) {
    styles += doc.substr(at + 1, doc.find('<', at) - at - 1) + " ";
  }
  return styles;
}

TEST(Placemarks, MaximumValuesBelowTheClassesTakeThePreviousStyle) {
  const ChannelPoints p = points_with_values({5.0f, 3.9f, 20.0f, 9.99f, 4.0f, 1000.0f, 4.5f});
  const std::string doc = render(kFlowglobeVariant, [&](KmlDocument& d) {
    write_value_placemarks(kFlowglobeMax, p, 1, 1, d);
  });
  EXPECT_EQ(styles_of(doc), "purple green green green purple purple ");
  EXPECT_NE(doc.find(" k=           1  ,order=           1  ,streamflow="), std::string::npos);
}

std::string node_names(const ChannelPoints& p, std::int32_t order0, std::int32_t interval) {
  const std::string doc = render(kFlowglobeDrv1Variant, [&](KmlDocument& d) {
    write_node_placemarks(p, order0, interval, d);
  });
  std::string names;
  for (std::size_t at = doc.find("<name>"); at != std::string::npos;
       at = doc.find("<name>", at + 1)) {
    names += std::to_string(std::stoi(doc.substr(at + 6, 12))) + " ";
  }
  return names;
}

TEST(Placemarks, NodesCountOnlyEligiblePoints) {
  ChannelPoints p;
  p.order.assign(14, 0);
  for (int eligible : {2, 5, 6, 9, 10, 14}) p.order[eligible - 1] = 3;
  p.lat.assign(14, 1.0f);
  p.lon.assign(14, 2.0f);
  EXPECT_EQ(node_names(p, 3, 3), "6 14 ");
  EXPECT_EQ(node_names(p, 3, 1), "2 5 6 9 10 14 ");
  EXPECT_EQ(node_names(p, 3, 0), "2 5 6 9 10 14 ");
  EXPECT_EQ(node_names(p, 3, -4), "2 5 6 9 10 14 ");
  EXPECT_EQ(node_names(p, 4, 1), "");
}

// ------------------------------------------------------------ document file

/// Writes `count` numbered records onto `text`.
void numbered_records(TextOut& text, int count) {
  for (int k = 0; k < count; ++k) text.record("<name>", k, "</name>", 0.5f * k);
}

// Several times the blocks in flight: the file holds every record in order.
TEST(DocumentFile, ManyBlocksArriveWholeAndInOrder) {
  constexpr int kRecords = 300000;  // about 15 MB
  std::string expected_text;
  {
    TextOut text(&expected_text);
    numbered_records(text, kRecords);
  }
  ASSERT_GT(expected_text.size(), 3 * DocumentFile::kBlocksInFlight * DocumentFile::kBlockBytes);
  test::ScratchDir dir;
  const auto o = test::outcome_of([&] {
    DocumentFile file((dir / "doc.kml").string());
    numbered_records(file.text(), kRecords);
    file.commit();
  });
  ASSERT_FALSE(o.ended) << o.stop;
  EXPECT_EQ(test::read_file(dir / "doc.kml"), expected_text);
  EXPECT_EQ(test::entries(dir.path()), std::vector<std::string>{"doc.kml"});
}

// A document not committed (its run ended) leaves nothing behind and the
// previous document as it was, however many blocks were queued.
TEST(DocumentFile, AnAbandonedDocumentLeavesNothing) {
  test::ScratchDir dir;
  test::write_file(dir / "doc.kml", "previous\n");
  {
    DocumentFile file((dir / "doc.kml").string());
    numbered_records(file.text(), 300000);
  }
  EXPECT_EQ(test::read_file(dir / "doc.kml"), "previous\n");
  EXPECT_EQ(test::entries(dir.path()), std::vector<std::string>{"doc.kml"});
}

// A write that fails (a file-size limit standing in for a full disk) ends
// the run with the output's message: at the commit for a small document, at
// the next hand-over of a block for a large one, long before its end.
TEST(DocumentFile, AFailedWriteEndsTheRunAndLeavesNothing) {
  for (const int records : {2000, 2000000}) {
    test::ScratchDir dir;
    const std::string target = (dir / "doc.kml").string();
    const int status = test::in_child([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit {4096, 4096};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      int written = 0;
      const auto r = test::outcome_of([&] {
        DocumentFile file(target);
        for (; written < records; ++written) file.text().record("<name>", written, "</name>");
        file.commit();
      });
      const bool early = written < records / 2;
      if (r.stop != "Error: cannot write output file " + target + ": File too large") return 91;
      if (early != (records > 100000)) return 92;
      return r.status;
    });
    EXPECT_EQ(status, kFailure) << records;
    EXPECT_TRUE(test::entries(dir.path()).empty()) << records;
  }
}

}  // namespace
}  // namespace rn::kml
