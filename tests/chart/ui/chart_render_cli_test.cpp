#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
    int code = -1;
    std::string err;
};

class ChartRenderCli : public testing::Test {
protected:
    void SetUp() override {
        chart::ChartSet model;
        std::vector<chart::ChartPoint> pts;
        for (int i = 0; i <= 100; ++i) pts.push_back({i * 1.0, 20 + i * 2.0});
        const int a = model.AddChart(pts, L"Temp Main", L"deg C", 0, 2, 0, 0xFFFF0000);
        const int b = model.AddChart(pts, L"Fan", L"%", 5, 1, 0, 0xFF0000FF);
        std::wstring error;
        ASSERT_TRUE(model.SaveChartsXml(dir_.WPath("c.xml"), {a, b}, error));
    }

    Outcome Run(const std::vector<std::string>& args) const {
        std::string command = "'" CALVEROCTL "' chart render";
        for (const std::string& a : args) command += " '" + a + "'";
        command += " 2>'" + dir_.Path("stderr") + "'";
        Outcome o;
        const int status = std::system(command.c_str());
        o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.err = dir_.Read("stderr");
        return o;
    }

    // Pixels of the light blue selection band over white.
    static int BandPixels(const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                n += std::abs(qRed(image.pixel(x, y)) - 214) <= 2 &&
                     std::abs(qGreen(image.pixel(x, y)) - 235) <= 2 &&
                     std::abs(qBlue(image.pixel(x, y)) - 242) <= 2;
        return n;
    }

    test_support::TempDir dir_;
};

}  // namespace

TEST_F(ChartRenderCli, DrawsTheFileAtTheAskedSize) {
    const std::string xml = dir_.Path("c.xml"), png = dir_.Path("out.png");
    Outcome o = Run({xml, png});
    ASSERT_EQ(o.code, 0) << o.err;
    QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.size(), QSize(800, 600));
    EXPECT_EQ(BandPixels(image), 0);

    o = Run({xml, png, "--size", "320x200", "--range", "0", "50", "0", "120", "--legend",
             "--points", "--select", "10", "30", "--track", "20", "60"});
    ASSERT_EQ(o.code, 0) << o.err;
    image.load(QString::fromStdString(png));
    EXPECT_EQ(image.size(), QSize(320, 200));
    EXPECT_GT(BandPixels(image), 100);
}

TEST_F(ChartRenderCli, UnreadableFileIsNamedWithTheReasonAndGivesOne) {
    const std::string missing = dir_.Path("missing.xml");
    const Outcome o = Run({missing, dir_.Path("out.png")});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "calveroctl: " + missing + ": No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("out.png")));
}

// The extension names the format; "-" is PNG on standard output.
TEST_F(ChartRenderCli, WritesTheFormatTheNameAsksFor) {
    const std::string xml = dir_.Path("c.xml");
    struct Case {
        std::string out;
        std::string magic;  // the first bytes of the format
    } cases[] = {
        {"out.png", "\x89PNG\r\n"}, {"out.jpg", "\xFF\xD8\xFF"},     {"OUT.JPEG", "\xFF\xD8\xFF"},
        {"out.bmp", "BM"},          {"no-extension", "\x89PNG\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        const Outcome o = Run({xml, dir_.Path(c.out), "--size", "80x60"});
        ASSERT_EQ(o.code, 0) << o.err;
        const std::string bytes = dir_.Read(c.out);
        EXPECT_EQ(bytes.substr(0, c.magic.size()), c.magic);
        EXPECT_FALSE(QImage::fromData(QByteArray::fromStdString(bytes)).isNull());
    }

    const std::string command = "cd '" + dir_.Dir() + "' && '" CALVEROCTL "' chart render '" + xml +
                                "' - --size 80x60 >stdout.bin 2>stderr";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << dir_.Read("stderr");
    const QImage image =
        QImage::fromData(QByteArray::fromStdString(dir_.Read("stdout.bin")), "PNG");
    EXPECT_EQ(image.size(), QSize(80, 60));
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("-")));
}

TEST_F(ChartRenderCli, BadArgumentsGiveTwo) {
    const std::string xml = dir_.Path("c.xml"), png = dir_.Path("out.png");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {xml},
        {xml, png, "extra"},
        {xml, png, "--size", "0x600"},
        {xml, png, "--size", "800"},
        {xml, png, "--range", "0", "1", "2"},
        {xml, png, "--select", "a", "b"},
        {xml, png, "--track", "1"},
        {xml, png, "--bogus"},
        // Ranges the view cannot show.
        {xml, png, "--range", "5", "5", "1", "1"},
        {xml, png, "--range", "5", "5", "1", "100"},
        {xml, png, "--range", "0", "10", "3", "3"},
        {xml, png, "--range", "-1e308", "1e308", "-1e308", "1e308"},
        {xml, png, "--range", "0", "1e-320", "0", "1"},
        // Formats no image writer knows.
        {xml, dir_.Path("out.xyz")},
    };
    for (const auto& args : cases) {
        const Outcome o = Run(args);
        EXPECT_EQ(o.code, 2) << testing::PrintToString(args);
        EXPECT_NE(o.err.find("usage:"), std::string::npos) << o.err;
        // Nothing is written.
        EXPECT_EQ(dir_.Entries(), 2u) << testing::PrintToString(args);  // c.xml and stderr
    }
}
