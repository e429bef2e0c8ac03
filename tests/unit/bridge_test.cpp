// The texts that the IDE bridge builds: directory part, number text, IDE
// parameters and command line, the shell's directory, and UTC dates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "bridge/date_text.hpp"
#include "bridge/ide_launch.hpp"

namespace halvex {
namespace {

struct TextCase {
    const char* name;
    std::u16string_view input;
    std::u16string_view want;
};

TEST(PathDirectoryPart, Table) {
    const TextCase cases[] = {
        {"empty", u"", u""},
        {"backslashes", u"C:\\Tools\\IDE\\ide.exe", u"C:\\Tools\\IDE\\"},
        {"quoted", u"\"C:\\Tools\\IDE\\ide.exe\"", u"C:\\Tools\\IDE\\"},
        {"forward slashes", u"D:/apps/ide.exe", u"D:/apps/"},
        {"mixed separators", u"C:\\Tools/sub\\ide.exe", u"C:\\Tools/sub\\"},
        {"bare name", u"ide.exe", u""},
        {"quoted bare name", u"\"ide.exe\"", u""},
        {"lone quote", u"\"", u""},
        {"root", u"\\ide.exe", u"\\"},
        {"quoted root", u"\"\\", u"\\"},
        {"UNC", u"\\\\server\\share\\ide.exe", u"\\\\server\\share\\"},
        {"ends with separator", u"C:\\Tools\\", u"C:\\Tools\\"},
        {"spaces", u"C:\\Program Files\\Brenvo IDE\\ide.exe", u"C:\\Program Files\\Brenvo IDE\\"},
        {"bar hides later separators", u"C:\\a|b\\c.exe", u"C:\\"},
        {"bar first", u"|C:\\a\\ide.exe", u""},
        {"bar right after separator", u"C:\\|x", u"C:\\"},
        // The scan runs past a closing quote: separators in arguments count.
        {"quoted with argument", u"\"C:\\x\\ide.exe\" /opt=a\\b", u"C:\\x\\ide.exe\" /opt=a\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(PathDirectoryPart(c.input), c.want) << c.name;
}

TEST(NumberToText, Table) {
    const struct {
        double value;
        std::u16string_view want;
    } cases[] = {
        {0.0, u"0"},
        {-0.0, u"0"},
        {131844, u"131844"},
        {-131844, u"-131844"},
        {10, u"10"},  // zeros of the integer part stay
        {1000.5, u"1000.5"},
        {0.5, u"0.5"},
        {0.1, u"0.1"},
        {12.25, u"12.25"},
        {1.0 / 3.0, u"0.3333333333"},  // ten decimals, none to remove
        {2.0 / 3.0, u"0.6666666667"},
        {1.0000000001, u"1.0000000001"},
        {1e-11, u"0"},
        {-1e-11, u"0"},
        {9007199254740992.0, u"9007199254740992"},
        {1e20, u"100000000000000000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToText(c.value), c.want) << c.value;
}

TEST(IdeParameters, HandleIsReadAsSigned64BitThroughDouble) {
    const struct {
        std::int64_t handle;
        std::u16string_view want;
    } cases[] = {
        {131844, u"/npp 131844 /VariableReport"},
        {0, u"/npp 0 /VariableReport"},
        {-2, u"/npp -2 /VariableReport"},
        {0x7FFFFFFF, u"/npp 2147483647 /VariableReport"},
        {0x100000000LL, u"/npp 4294967296 /VariableReport"},
        // Beyond 2^53 the double rounds: 2^53 + 1 and INT64_MAX are not exact.
        {9007199254740993LL, u"/npp 9007199254740992 /VariableReport"},
        {INT64_MAX, u"/npp 9223372036854775808 /VariableReport"},
    };
    for (const auto& c : cases) EXPECT_EQ(IdeParameters(c.handle), c.want) << c.handle;
}

TEST(ProgramCommandLine, Table) {
    const struct {
        const char* name;
        std::u16string_view program, parameters, want;
    } cases[] = {
        {"quoted on the line", u"C:\\Tools\\ide.exe", u"/npp 131844 /VariableReport",
         u"\"C:\\Tools\\ide.exe\" /npp 131844 /VariableReport"},
        {"spaces", u"C:\\Program Files\\ide.exe", u"/x", u"\"C:\\Program Files\\ide.exe\" /x"},
        {"already quoted", u"\"C:\\Program Files\\ide.exe\"", u"/x", u"\"C:\\Program Files\\ide.exe\" /x"},
        {"quoted with own argument", u"\"C:\\ide.exe\" -q", u"/x", u"\"C:\\ide.exe\" -q /x"},
        {"no parameters", u"ide.exe", u"", u"\"ide.exe\""},
        {"empty program", u"", u"/x", u"\"\" /x"},
        {"nothing", u"", u"", u"\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(ProgramCommandLine(c.program, c.parameters), c.want) << c.name;
}

TEST(ShellDirectory, Table) {
    const struct {
        const char* name;
        std::u16string_view program, directory, want;
    } cases[] = {
        {"given directory wins", u"C:\\Tools\\ide.exe", u"D:\\work\\", u"D:\\work\\"},
        {"program's folder", u"C:\\Tools\\ide.exe", u"", u"C:\\Tools\\"},
        {"bare name", u"ide.exe", u"", u""},
        {"backslash first only", u"\\ide.exe", u"", u""},
        {"UNC", u"\\\\srv\\share\\ide.exe", u"", u"\\\\srv\\share\\"},
        {"forward slashes do not count", u"D:/apps/ide.exe", u"", u""},
        {"bar does not count here", u"C:\\a|b\\c.txt", u"", u"C:\\a|b\\"},
        {"program taken as written", u"\"C:\\Tools\\ide.exe\"", u"", u"\"C:\\Tools\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShellDirectory(c.program, c.directory), c.want) << c.name;
}

TEST(CivilFromDays, AgreesWithADayByDayCalendar) {
    // Walks 1600-01-01 to 2400-12-31 one day at a time with the plain leap
    // year rule and compares every day.
    const auto isLeap = [](std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int64_t days = -135140;  // 1600-01-01
    CivilDate want{1600, 1, 1};
    int mismatches = 0;
    while (want.year <= 2400) {
        const CivilDate got = CivilFromDays(days);
        if (got.year != want.year || got.month != want.month || got.day != want.day) {
            if (++mismatches <= 5)
                ADD_FAILURE() << "day " << days << ": " << got.year << "-" << got.month << "-" << got.day;
        }
        ++days;
        const int length = want.month == 2 && isLeap(want.year) ? 29 : monthDays[want.month - 1];
        if (++want.day > length) {
            want.day = 1;
            if (++want.month > 12) {
                want.month = 1;
                ++want.year;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    const CivilDate epoch = CivilFromDays(0);
    EXPECT_EQ(epoch.year * 10000 + epoch.month * 100 + epoch.day, 19700101);
}

TEST(FormatDateText, Table) {
    constexpr std::int32_t kBuild = 1549652624;  // 2019-02-08 19:03:44 UTC
    const struct {
        const char* name;
        std::u16string_view mask;
        std::int32_t date;
        std::u16string_view want;
    } cases[] = {
        {"about mask", u"%yyyy/%mm/%dd", kBuild, u"2019/02/08"},
        {"upper case", u"%YYYY-%MM-%DD", kBuild, u"2019-02-08"},
        {"mixed case", u"%yYyY%Mm%dD", kBuild, u"20190208"},
        {"yyyy tried first", u"%yyyymm", kBuild, u"2019mm"},
        {"short year is not a token", u"%yyy/%y", kBuild, u"%yyy/%y"},
        {"percent before a token", u"%%dd", kBuild, u"%08"},
        {"token followed by more letters", u"%mmm", kBuild, u"02m"},
        {"trailing percent", u"100%", kBuild, u"100%"},
        {"letters without percent", u"yyyy mm dd", kBuild, u"yyyy mm dd"},
        {"empty mask", u"", kBuild, u""},
        {"other characters kept", u"Date: %dd.%mm. \u00E9", kBuild, u"Date: 08.02. \u00E9"},
        {"last second of the UTC day", u"%yyyy/%mm/%dd", 1549670399, u"2019/02/08"},
        {"first second of the next", u"%yyyy/%mm/%dd", 1549670400, u"2019/02/09"},
        {"epoch", u"%yyyy/%mm/%dd", 0, u"1970/01/01"},
        {"second before the epoch", u"%yyyy/%mm/%dd", -1, u"1969/12/31"},
        {"leap day 2000", u"%yyyy/%mm/%dd", 951782400, u"2000/02/29"},
        {"earliest", u"%yyyy/%mm/%dd", INT32_MIN, u"1901/12/13"},
        {"latest", u"%yyyy/%mm/%dd", INT32_MAX, u"2038/01/19"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDateText(c.mask, c.date), c.want) << c.name;
}

TEST(FormatDateText, IgnoresTheLocalTimeZone) {
    constexpr std::int32_t kBuild = 1549652624;
    const char* saved = std::getenv("TZ");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TZ", "IST-5:30", 1);  // UTC+5:30
    tzset();
    const std::time_t when = kBuild;
    std::tm local{};
    localtime_r(&when, &local);
    const Text text = FormatDateText(u"%yyyy/%mm/%dd", kBuild);
    if (saved != nullptr) {
        setenv("TZ", savedValue.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(local.tm_mday, 9) << "the zone in effect is not ahead of UTC";
    EXPECT_EQ(text, u"2019/02/08");
}

}  // namespace
}  // namespace halvex
