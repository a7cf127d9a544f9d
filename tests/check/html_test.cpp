// The class report's page: nothing from a student's file becomes markup,
// nothing is fetched, the worst comes first and wrong points are marked.
// (tests/check_class/browser_test.sh opens it in a real browser.)
#include "check/copies.h"
#include "check/html.h"
#include "tests/check/session.h"

#include <gtest/gtest.h>

#include <regex>

namespace potencor::check {
namespace {

using test::Student;

std::size_t occurrences(const std::string& s, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

Student sixPoints()
{
    Student s;
    for (int k = 0; k < 6; ++k)
        s.click(3.3L + 5 * k, 7.4L + 3 * k);
    return s;
}

TEST(Html, StudentsTextIsNeverMarkup)
{
    const std::string hostile = "<script>document.title='pwned'</script>";
    std::vector<FileReport> files{
        checkBytes("<img src=x onerror=alert(1)>.txt", hostile + "\r\n" + sixPoints().text(), {}),
        checkBytes("\x1b]0;title\x07\xFF.txt", "\"><svg onload=alert(2)>\r\n" + sixPoints().text(), {}),
    };
    findCopies(files, false);
    const std::string page = htmlReport(files, equipotentials());

    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<svg onload"), std::string::npos);
    EXPECT_NE(page.find("&quot;&gt;&lt;svg onload=alert(2)&gt;"), std::string::npos);
    EXPECT_EQ(page.find("\x1b"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;document.title=&#39;pwned&#39;&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;.txt"), std::string::npos);
    EXPECT_NE(page.find("\\x1b]0;title\\x07\\xff.txt"), std::string::npos);
    // The copy names its partner as a link to that section; its finding is
    // about the whole file, so its line cell is empty, not "0".
    EXPECT_NE(page.find("measured points with <a href=\"#f"), std::string::npos);
    EXPECT_EQ(occurrences(page, "<tr><td class=\"n\"></td><td class=\"sev-warning\">warning</td><td>suspected copy</td>"), 2u);
}

TEST(Html, SelfContained)
{
    std::vector<FileReport> files{checkBytes("a.txt", sixPoints().text(), {})};
    const std::string page = htmlReport(files, equipotentials());
    // Every reference stays inside the page.
    const std::regex reference(R"((href|src|xlink:href)\s*=\s*"([^"]*)\"|url\(([^)]*)\))");
    std::size_t references = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), reference); it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[2].matched ? (*it)[2].str() : (*it)[3].str();
        EXPECT_EQ(target.substr(0, 1), "#") << it->str();
        ++references;
    }
    EXPECT_GE(references, 3u); // the table's link, the chart's drawing, the plot's clip
    EXPECT_EQ(page.find("://"), std::string::npos);
    EXPECT_EQ(page.find("@import"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none'"), std::string::npos);
}

TEST(Html, WrongPointsAreRedWithTheirNumber)
{
    Student s = sixPoints();
    std::string text = s.text();
    // Line 4 is number 3; its potential changed in the tenths.
    const std::size_t line4 = text.find("3: x=");
    const std::size_t digit = text.find("phi=", line4) + 4;
    text[digit] = text[digit] == '1' ? '2' : '1';
    const FileReport r = checkBytes("a.txt", text, {});
    ASSERT_EQ(r.wrong, 1u);
    const std::string svg = chartSvg(r);
    EXPECT_EQ(occurrences(svg, "<circle"), 6u);
    EXPECT_EQ(occurrences(svg, "r=\"5.5\""), 1u); // the one wrong point, larger
    EXPECT_NE(svg.find("<title>line 4: wrong potential</title>"), std::string::npos);
    EXPECT_NE(svg.find(">3</text>"), std::string::npos);
    EXPECT_EQ(occurrences(svg, "</text>"), 1u) << "only wrong points are numbered";
}

TEST(Html, PointsFarOffTheChartAreLeftOut)
{
    FileReport r;
    r.path = "far.txt";
    r.points = {{1e300L, 5, 0, 1, false}, {5.3L, -1e4000L, 1, 2, true}, {-0.6L, 5.4L, 2, 3, false}};
    EXPECT_EQ(occurrences(chartSvg(r), "<circle"), 1u); // left of the plot, still on the chart
}

TEST(Html, WorstFirstAndLinkedFromTheTable)
{
    Student good = sixPoints();
    std::string bad = good.text();
    bad.insert(0, "заметка\r\n");
    std::vector<FileReport> files{checkBytes("good.txt", good.text(), {}), checkBytes("noted.txt", bad, {})};
    FileReport unreadable;
    unreadable.path = "gone.txt";
    unreadable.readError = "No such file or directory";
    files.push_back(unreadable);
    const std::string page = htmlReport(files, {});
    const std::size_t gone = page.find("<section id=\"f0\">"), noted = page.find("<section id=\"f1\">"),
                      ok = page.find("<section id=\"f2\">");
    ASSERT_NE(ok, std::string::npos);
    EXPECT_LT(gone, noted);
    EXPECT_LT(noted, ok);
    EXPECT_NE(page.find("gone.txt", gone), std::string::npos);
    EXPECT_LT(page.find("gone.txt", gone), noted);
    EXPECT_NE(page.find("Could not be read: No such file or directory", gone), std::string::npos);
    EXPECT_NE(page.find("<a href=\"#f1\">noted.txt</a>"), std::string::npos);
    EXPECT_LT(page.find("noted.txt", noted), ok);
    EXPECT_LT(page.find("good.txt", ok), page.find("</body>"));
}

} // namespace
} // namespace potencor::check
