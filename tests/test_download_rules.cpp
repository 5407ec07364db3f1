// The download engine's rules that need no network: address split, request
// texts, header recognition, the segment plan and the low-speed rule.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "download/DownloadRules.h"

namespace {

std::vector<SegmentRange> ranges(std::initializer_list<std::pair<int32_t, int32_t>> pairs) {
  std::vector<SegmentRange> ranges;
  for (const auto& [first, last] : pairs) ranges.push_back({first, last});
  return ranges;
}

}  // namespace

TEST(UrlSplit, SplitsHostAndPathAtTheFirstSlash) {
  EXPECT_EQ(GetUrlHost("http://host/dir/l_12.jpg"), "host");
  EXPECT_EQ(GetUrlPath("http://host/dir/l_12.jpg"), "dir/l_12.jpg");
  // Without the prefix, and with it in capitals, the split is the same.
  EXPECT_EQ(GetUrlHost("host/dir/file"), "host");
  EXPECT_EQ(GetUrlPath("host/dir/file"), "dir/file");
  EXPECT_EQ(GetUrlHost("HTTP://Host.Example/Dir/File.JPG"), "Host.Example");
  EXPECT_EQ(GetUrlPath("HTTP://Host.Example/Dir/File.JPG"), "Dir/File.JPG");
}

TEST(UrlSplit, TrimsBlanksAndControlCharactersFirst) {
  EXPECT_EQ(GetUrlHost(" \t\r\nhttp://host/a.jpg\r\n\x01"), "host");
  EXPECT_EQ(GetUrlPath(" \t\r\nhttp://host/a.jpg\r\n\x01"), "a.jpg");
}

TEST(UrlSplit, EdgeForms) {
  // No path at all: the whole rest is the host and the path is empty, so the
  // request asks for "/".
  EXPECT_EQ(GetUrlHost("http://host"), "host");
  EXPECT_EQ(GetUrlPath("http://host"), "");
  EXPECT_EQ(GetUrlPath("http://host/"), "");
  // The host keeps its port, as the Host line names it.
  EXPECT_EQ(GetUrlHost("host:8080/dir/file"), "host:8080");
  EXPECT_EQ(GetUrlHost("https://host/x"), "host");
  EXPECT_EQ(GetUrlHost("ftp://host/x"), "ftp:");
}

TEST(UrlSplit, SchemePortAndPathOfADownloadAddress) {
  const auto split = [](const char* url) { return splitDownloadUrl(QString::fromUtf8(url)); };
  EXPECT_EQ(split("http://host/dir/l_12.jpg"),
            (DownloadAddress{UrlScheme::Http, "host", 80, "dir/l_12.jpg"}));
  EXPECT_EQ(split("host/a.jpg"), (DownloadAddress{UrlScheme::Http, "host", 80, "a.jpg"}));
  EXPECT_EQ(split("HTTPS://Host/A.jpg"), (DownloadAddress{UrlScheme::Https, "Host", 443, "A.jpg"}));
  EXPECT_EQ(split("https://127.0.0.1:8443/f"), (DownloadAddress{UrlScheme::Https, "127.0.0.1", 8443, "f"}));
  EXPECT_EQ(split("http://host:8080"), (DownloadAddress{UrlScheme::Http, "host", 8080, ""}));
  EXPECT_EQ(split("http://[::1]:8080/x"), (DownloadAddress{UrlScheme::Http, "::1", 8080, "x"}));
  EXPECT_EQ(split("https://[::1]/x"), (DownloadAddress{UrlScheme::Https, "::1", 443, "x"}));
  for (const char* bad : {"http:///x", "http://host:/x", "http://host:0/x", "http://host:65536/x",
                          "http://host:8o/x", "http://a:b:80/x", "http://user@host/x", "ftp://host/x",
                          "http://[::1/x", "http://[::1]x/x", "http://host/a b", "https://"})
    EXPECT_FALSE(split(bad)) << bad;
}

TEST(UrlSplit, TheHostLineNamesOnlyAPortOtherThanTheSchemesOwn) {
  EXPECT_EQ(splitDownloadUrl("http://host/x")->hostLine(), "host");
  EXPECT_EQ(splitDownloadUrl("http://host:80/x")->hostLine(), "host");
  EXPECT_EQ(splitDownloadUrl("http://host:443/x")->hostLine(), "host:443");
  EXPECT_EQ(splitDownloadUrl("https://host:443/x")->hostLine(), "host");
  EXPECT_EQ(splitDownloadUrl("https://host:80/x")->hostLine(), "host:80");
  EXPECT_EQ(splitDownloadUrl("http://[::1]:81/x")->hostLine(), "[::1]:81");
  EXPECT_EQ(splitDownloadUrl("HTTPS://h:8443/d/f.jpg")->text(), "https://h:8443/d/f.jpg");
}

TEST(Redirects, FollowsTheFiveStatusesOnly) {
  for (int status : {301, 302, 303, 307, 308}) EXPECT_TRUE(isRedirectStatus(status)) << status;
  for (int status : {200, 206, 300, 304, 305, 306, 309, 404})
    EXPECT_FALSE(isRedirectStatus(status)) << status;
}

TEST(Redirects, LocationsResolveAgainstTheAddressAsked) {
  const DownloadAddress from = *splitDownloadUrl("http://site:8080/dir/l_1.jpg");
  const auto target = [&from](const std::string& location) {
    const RedirectTarget next = followRedirect(from, location);
    return next.Address ? next.Address->text() : "refused: " + next.Refusal;
  };
  EXPECT_EQ(target("https://cdn.example/p/l_1.jpg"), "https://cdn.example/p/l_1.jpg");
  EXPECT_EQ(target("//other:81/x.jpg"), "http://other:81/x.jpg");
  EXPECT_EQ(target("/top.jpg"), "http://site:8080/top.jpg");
  EXPECT_EQ(target("l_2.jpg"), "http://site:8080/dir/l_2.jpg");
  EXPECT_EQ(target("l_2.jpg#part"), "http://site:8080/dir/l_2.jpg");
  EXPECT_EQ(target("/a b.jpg"), "http://site:8080/a%20b.jpg");
  EXPECT_TRUE(target("ftp://site/x").starts_with("refused: "));
  EXPECT_TRUE(target("").starts_with("refused: "));
}

TEST(Redirects, HttpsNeverLeadsBackToHttp) {
  const DownloadAddress from = *splitDownloadUrl("https://site/l_1.jpg");
  EXPECT_FALSE(followRedirect(from, "http://site/l_1.jpg").Address);
  EXPECT_NE(followRedirect(from, "HTTP://site/l_1.jpg").Refusal.find("https to http"), std::string::npos);
  EXPECT_EQ(followRedirect(from, "//mirror/l_1.jpg").Address->text(), "https://mirror/l_1.jpg");
  EXPECT_EQ(followRedirect(from, "/x.jpg").Address->Scheme, UrlScheme::Https);
}

TEST(UrlSplit, RequestTextWithBlanksOrControlsIsRefused) {
  EXPECT_TRUE(isSafeRequestText("dir/l_12.jpg"));
  EXPECT_TRUE(isSafeRequestText(""));
  EXPECT_FALSE(isSafeRequestText("a.jpg HTTP/1.0\r\nX-Injected: 1"));
  EXPECT_FALSE(isSafeRequestText("a b.jpg"));
  EXPECT_FALSE(isSafeRequestText(std::string("a\0b", 3)));
  EXPECT_FALSE(isSafeRequestText("a\x7f"));
}

TEST(Requests, TheWholeBodyRequestIsTheRangedOneWithoutItsRange) {
  EXPECT_EQ(wholeRequest("dir/l_12.jpg", "host:8080"),
            "GET /dir/l_12.jpg HTTP/1.1\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)\r\n"
            "Host: host:8080\r\n"
            "Connection: close\r\n"
            "\r\n");
}

TEST(Requests, HeadRequestByteForByte) {
  EXPECT_EQ(headRequest("dir/l_12.jpg", "host"),
            "HEAD /dir/l_12.jpg HTTP/1.1\r\n"
            "Pragma: no-cache\r\n"
            "Cache-Control: no-cache\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)\r\n"
            "Host: host\r\n"
            "\r\n");
}

TEST(Requests, RangeRequestByteForByteWithTheBlankAfterTheEnd) {
  EXPECT_EQ(rangeRequest("dir/l_12.jpg", "host", 0, 71427),
            "GET /dir/l_12.jpg HTTP/1.1\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)\r\n"
            "RANGE: bytes=0-71427 \r\n"
            "Host: host\r\n"
            "\r\n");
}

TEST(HeaderMatching, NamesMatchAtTheStartWithoutCase) {
  EXPECT_TRUE(isHeaderLine("content-range: bytes 0-1/2\r\n", "Content-Range:"));
  EXPECT_TRUE(isHeaderLine("CONTENT-LENGTH: 5\r\n", "Content-Length: "));
  EXPECT_FALSE(isHeaderLine("X-Content-Length: 5\r\n", "Content-Length: "));
  EXPECT_FALSE(isHeaderLine("Content-Length:5\r\n", "Content-Length: "));
  EXPECT_FALSE(isHeaderLine("Content", "Content-Length: "));
  EXPECT_TRUE(isHeaderEnd("\r\n"));
  EXPECT_FALSE(isHeaderEnd("\n"));
  EXPECT_FALSE(isHeaderEnd(" \r\n"));
}

TEST(HeaderMatching, StatusLines) {
  EXPECT_EQ(responseStatusCode("HTTP/1.1 200 OK\r\n"), 200);
  EXPECT_EQ(responseStatusCode("HTTP/1.0 206 Partial Content\r\n"), 206);
  EXPECT_EQ(responseStatusCode("HTTP/1.1 404\r\n"), 404);
  for (const char* line :
       {"HTTP/1.1 2000 OK\r\n", "HTTP/2 200\r\n", "ICY 200 OK\r\n", "HTTP/1.1 20x\r\n", ""})
    EXPECT_FALSE(responseStatusCode(line).has_value()) << line;
}

TEST(HeaderMatching, ContentLengthTakesOnlyAPlainDecimalBelowTwoToThe31) {
  EXPECT_EQ(contentLengthValue("Content-Length: 500000\r\n"), 500000);
  EXPECT_EQ(contentLengthValue("content-length:   42 \t\r\n"), 42);
  EXPECT_EQ(contentLengthValue("Content-Length: 0\r\n"), 0);
  EXPECT_EQ(contentLengthValue("Content-Length: 2147483647\r\n"), 2147483647);
  for (const char* line : {"Content-Length: 2147483648\r\n", "Content-Length: 99999999999999999999999\r\n",
                           "Content-Length: -1\r\n", "Content-Length: +5\r\n", "Content-Length: 12abc\r\n",
                           "Content-Length: 1 2\r\n", "Content-Length: 0x10\r\n", "Content-Length: 1.5\r\n",
                           "Content-Length: \r\n", "Content-Type: 5\r\n"})
    EXPECT_FALSE(contentLengthValue(line).has_value()) << line;
}

TEST(HeaderMatching, ContentRangeIsParsedStrictly) {
  const auto range = contentRangeValue("Content-Range: bytes 71428-142855/500000\r\n");
  ASSERT_TRUE(range.has_value());
  EXPECT_EQ(range->First, 71428);
  EXPECT_EQ(range->Last, 142855);
  EXPECT_EQ(range->Total, 500000);
  const auto unknownTotal = contentRangeValue("content-range:bytes 0-9/*\r\n");
  ASSERT_TRUE(unknownTotal.has_value());
  EXPECT_FALSE(unknownTotal->Total.has_value());
  for (const char* line : {"Content-Range: bytes */500000\r\n", "Content-Range: bytes 0-9\r\n",
                           "Content-Range: items 0-9/10\r\n", "Content-Range: bytes -1-9/10\r\n",
                           "Content-Range: bytes 0-9/ten\r\n", "Content-Range:\r\n"})
    EXPECT_FALSE(contentRangeValue(line).has_value()) << line;
}

TEST(HeaderMatching, OnlyTheAskedRangeOfTheAnnouncedFileMatches) {
  const ContentRange asked{0, 71427, 500000};
  EXPECT_TRUE(contentRangeMatches(asked, 0, 71427, 500000));
  EXPECT_TRUE(contentRangeMatches({0, 71427, std::nullopt}, 0, 71427, 500000));
  EXPECT_FALSE(contentRangeMatches({1, 71428, 500000}, 0, 71427, 500000));
  EXPECT_FALSE(contentRangeMatches({0, 71426, 500000}, 0, 71427, 500000));
  EXPECT_FALSE(contentRangeMatches({0, 71427, 500001}, 0, 71427, 500000));
}

TEST(SegmentPlan, TheFourPlanExamples) {
  const auto seven = planSegments(500000, 0, 80000);
  ASSERT_EQ(seven.size(), 7u);
  EXPECT_EQ(seven.front(), (SegmentRange{0, 71427}));
  EXPECT_EQ(seven[1], (SegmentRange{71428, 142855}));
  EXPECT_EQ(seven[5], (SegmentRange{357140, 428567}));
  EXPECT_EQ(seven.back(), (SegmentRange{428568, 499999}));
  EXPECT_EQ(seven.back().length(), 71432);

  // An exact multiple of the hint still gets one segment more than the quotient.
  EXPECT_EQ(planSegments(160000, 0, 80000), ranges({{0, 53332}, {53333, 106665}, {106666, 159999}}));

  EXPECT_EQ(planSegments(60000, 0, 80000), ranges({{0, 59999}}));

  const auto capped = planSegments(5000000, 0, 80000);
  ASSERT_EQ(capped.size(), 20u);
  for (size_t n = 0; n < capped.size(); ++n)
    EXPECT_EQ(capped[n],
              (SegmentRange{static_cast<int32_t>(n) * 250000, static_cast<int32_t>(n + 1) * 250000 - 1}));
}

TEST(SegmentPlan, RangesCoverTheRemainderWithoutGapsOrEmptyRanges) {
  for (const auto& [total, existing, hint] : {std::tuple{1, 0, 80000},
                                              {19, 0, 1},
                                              {5, 0, 0},
                                              {2147483647, 0, 100000},
                                              {1000, 400, 100},
                                              {123457, 0, 1000}}) {
    const auto plan = planSegments(total, existing, hint);
    ASSERT_FALSE(plan.empty());
    EXPECT_LE(plan.size(), 20u);
    EXPECT_EQ(plan.front().RangeStart, existing);
    EXPECT_EQ(plan.back().RangeEnd, total - 1);
    for (size_t n = 0; n < plan.size(); ++n) {
      EXPECT_GE(plan[n].length(), 1) << total << " segment " << n;
      if (n > 0) {
        EXPECT_EQ(plan[n].RangeStart, plan[n - 1].RangeEnd + 1);
      }
    }
  }
}

TEST(SegmentPlan, NothingToFetch) {
  EXPECT_TRUE(planSegments(0, 0, 80000).empty());
  EXPECT_TRUE(planSegments(1000, 1000, 80000).empty());
  EXPECT_TRUE(planSegments(1000, 2000, 80000).empty());
}

// The quotient plus one overflowed 32 bits for the largest length and a hint
// of one byte, and a negative start overflowed the remainder before it was
// refused.
TEST(SegmentPlan, ExtremeValuesStayWithinTheLimits) {
  constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
  constexpr int32_t kSmallest = std::numeric_limits<int32_t>::min();
  const auto largest = planSegments(kLargest, 0, 1);
  ASSERT_EQ(largest.size(), 20u);
  EXPECT_EQ(largest.front().RangeStart, 0);
  EXPECT_EQ(largest.back().RangeEnd, kLargest - 1);

  EXPECT_EQ(planSegments(kLargest, kLargest - 1, 1), ranges({{kLargest - 1, kLargest - 1}}));
  EXPECT_EQ(planSegments(kLargest, 0, kLargest).size(), 2u);
  EXPECT_EQ(planSegments(kLargest, kLargest - 5, kSmallest).size(), 5u);
  EXPECT_TRUE(planSegments(kLargest, -1, 1).empty());
  EXPECT_TRUE(planSegments(10, kSmallest, 1).empty());
  EXPECT_TRUE(planSegments(kSmallest, 0, 1).empty());
  EXPECT_TRUE(planSegments(kLargest, kLargest, 1).empty());
}

TEST(SegmentPlan, EveryPlanCoversTheRemainderExactlyInOrder) {
  constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
  constexpr int32_t kSmallest = std::numeric_limits<int32_t>::min();
  const std::vector<int32_t> hints{kSmallest, -1, 0, 1, 2, 19, 20, 21, 80000, kLargest - 1, kLargest};
  for (const int32_t total : {1, 2, 19, 20, 21, 400, 1000001, kLargest - 1, kLargest}) {
    for (const int32_t existing : {0, 1, total / 2, total - 20, total - 2, total - 1}) {
      if (existing < 0 || existing >= total) continue;
      for (const int32_t hint : hints) {
        SCOPED_TRACE(testing::Message() << total << " from " << existing << " by " << hint);
        const auto plan = planSegments(total, existing, hint);
        const int64_t remaining = int64_t{total} - existing;
        ASSERT_FALSE(plan.empty());
        EXPECT_LE(plan.size(), 20u);
        EXPECT_LE(static_cast<int64_t>(plan.size()), remaining);
        int64_t next = existing;
        for (const SegmentRange& range : plan) {
          EXPECT_EQ(range.RangeStart, next);
          EXPECT_LE(range.RangeStart, range.RangeEnd);
          next = int64_t{range.RangeEnd} + 1;
        }
        EXPECT_EQ(next, total);
      }
    }
  }
}

TEST(SegmentPlan, SegmentFilesLieBesideTheTarget) {
  EXPECT_EQ(segmentFileName("/pics/l_7.jpg", 3), "/pics/l_7.jpg.$$$.temp.3");
  EXPECT_EQ(segmentFileName("/pics/l_7.jpg", 20), "/pics/l_7.jpg.$$$.temp.20");
}

// --- Low-speed rule --------------------------------------------------------------

namespace {
using Clock = ProgressWatch::Clock;
using namespace std::chrono_literals;
const Clock::time_point kStart = Clock::time_point() + 1h;
}  // namespace

TEST(LowSpeedRule, ASlowButSteadyDownloadIsNeverStalled) {
  // Just over the pace, for ten hours.
  ProgressWatch watch({1024, 60s}, 0, kStart);
  int64_t received = 0;
  for (int minute = 1; minute <= 600; ++minute) {
    received += 1024;
    EXPECT_FALSE(watch.stalled(received, kStart + minute * 59s)) << minute;
  }
}

TEST(LowSpeedRule, FewerBytesThanTheLimitWithinTheTimeIsStalled) {
  ProgressWatch watch({1024, 60s}, 5000, kStart);
  EXPECT_FALSE(watch.stalled(6023, kStart + 59s));
  EXPECT_TRUE(watch.stalled(6023, kStart + 60s));
  // Once stalled, late bytes do not undo it.
  EXPECT_TRUE(watch.stalled(100000, kStart + 61s));
}

TEST(LowSpeedRule, TheWindowStartsAnewOnceEnoughHasArrived) {
  ProgressWatch watch({1024, 60s}, 0, kStart);
  EXPECT_FALSE(watch.stalled(1024, kStart + 30s));
  EXPECT_EQ(watch.windowEnd(), kStart + 90s);
  EXPECT_FALSE(watch.stalled(2000, kStart + 89s));
  EXPECT_TRUE(watch.stalled(2000, kStart + 90s));
}

TEST(LowSpeedRule, NothingAtAllIsStalledAfterTheTime) {
  ProgressWatch watch({1024, 60s}, 0, kStart);
  EXPECT_FALSE(watch.stalled(0, kStart));
  EXPECT_TRUE(watch.stalled(0, kStart + 60s));
}

TEST(LowSpeedRule, ARuleWithoutBytesOrTimeStallsNothing) {
  ProgressWatch noBytes({0, 60s}, 0, kStart);
  ProgressWatch noTime({1024, 0s}, 0, kStart);
  EXPECT_FALSE(noBytes.stalled(0, kStart + 24h));
  EXPECT_FALSE(noTime.stalled(0, kStart + 24h));
}
