#include "erd/ImageMaps.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "erd/ReservedPackageData.h"

namespace {

using Values = std::vector<std::wstring>;

std::vector<Values> MapValues(const CImageMaps& maps)
{
    std::vector<Values> values;
    for (const auto& map : maps.m_Children) {
        values.push_back(map->m_FieldValues);
    }
    return values;
}

std::wstring NextUnreadLine(std::wistream& stream)
{
    std::wstring line;
    std::getline(stream, line);
    return line;
}

const Values kDefaults = {L"0", L"PRIMARY", L"0xFFFFFFFF", L"0xFFFFFFFF", L"0", L"1"};

TEST(ImageMapsTest, ParseReadsTheBlockAndNothingAfterIt)
{
    struct Case {
        const char* name;
        std::wstring block;  // the lines after "Image_Maps"
        std::wstring count;
        std::vector<Values> maps;
        std::wstring unread;  // the next line left in the stream
    };
    const std::vector<Case> cases = {
        {"one map",
         L"NUM_MAPS = 1\nImage_Map_Info\nImage_ID = TIMH\nImage_Type = RECOVERYIMAGE\n"
         L"Flash_Address_Lo = 0x20000\nEnd_Image_Map_Info\nEnd_Image_Maps\n[Next]\n",
         L"1",
         {{L"TIMH", L"0x1", L"0x20000", L"0xFFFFFFFF", L"0", L"1"}},
         L"[Next]"},
        {"every field, numbered names, blank lines and a later line for the same field",
         L"\n  NUM_MAPS = 0x2 \n\n1_Image_Map_Info\n1_Image_ID = OBMI\n1_Image_Type = CUSTMOZIEDIMAGE_TYPE12\n"
         L"1_Flash_Address_Lo = 0x1000\n1_Flash_Address_Hi = 0x1\n1_Partition = 3\n1_Enable = 0\n"
         L"1_Image_ID = OSLO\nUnknown = 5\n; Image_ID = comment\n1_End_Image_Map_Info\n"
         L"Image_Map_Info\nImage_Type = BOOT\nEnd_Image_Map_Info\nEnd_Image_Maps\n",
         L"0x2",
         {{L"OSLO", L"0x15", L"0x1000", L"0x1", L"3", L"0"}, {L"0", L"BOOT", L"0xFFFFFFFF", L"0xFFFFFFFF", L"0", L"1"}},
         L""},
        {"a map before the count line is skipped",
         L"Image_Map_Info\nImage_ID = AAAA\nEnd_Image_Map_Info\nNUM_MAPS = 1\n"
         L"Image_Map_Info\nImage_ID = BBBB\nEnd_Image_Map_Info\nEnd_Image_Maps\n",
         L"1",
         {{L"BBBB", L"PRIMARY", L"0xFFFFFFFF", L"0xFFFFFFFF", L"0", L"1"}},
         L""},
        {"no count line: the block ends at its end keyword",
         L"Image_Map_Info\nImage_ID = AAAA\nEnd_Image_Map_Info\nEnd_Image_Maps\n[Image_List]\nNUM_MAPS = 5\n",
         L"0",
         {},
         L"[Image_List]"},
        {"a map still open at the end keyword is dropped",
         L"NUM_MAPS = 1\nImage_Map_Info\nImage_ID = AAAA\nEnd_Image_Maps\nImage_ID = TIMH\nEnd_Image_Map_Info\n",
         L"1",
         {},
         L"Image_ID = TIMH"},
        {"a map still open at the end of the text is dropped",
         L"NUM_MAPS = 1\nImage_Map_Info\nImage_ID = AAAA", L"1", {}, L""},
        {"an empty block", L"", L"0", {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CImageMaps maps;
        std::wistringstream stream(c.block);
        EXPECT_TRUE(maps.Parse(stream, L"Image_Maps"));
        EXPECT_EQ(maps.m_FieldValues[0], c.count);
        EXPECT_EQ(MapValues(maps), c.maps);
        EXPECT_EQ(maps.MapCount(), c.maps.size());
        EXPECT_EQ(maps.Size(), 12 + 20 * c.maps.size());
        EXPECT_EQ(NextUnreadLine(stream), c.unread);
    }
}

TEST(ImageMapsTest, ImageTypeNamesBecomeTheirIdentifiers)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"PRIMARYIMAGE", L"0x0"},
        {L"RECOVERYIMAGE", L"0x1"},
        {L"my CPIMAGE here", L"0x2"},
        {L"PPSETINGIMAG", L"0x3"},
        {L"CUSTMOZIEDIMAGE_TYPE1", L"0xA"},
        {L"CUSTMOZIEDIMAGE_TYPE2", L"0xB"},
        {L"CUSTMOZIEDIMAGE_TYPE12", L"0x15"},  // contains TYPE1 too: the longest name wins
        {L"CUSTMOZIEDIMAGE_TYPE20", L"0x1D"},
        {L"CUSTMOZIEDIMAGE_TYPE21", L"0xB"},  // no name of its own; it holds TYPE2
        {L"BOOT", L"BOOT"},
        {L"primaryimage", L"primaryimage"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CImageMaps::ImageTypeId(c.first), c.second);
    }
}

std::unique_ptr<CImageMapInfo> Map(Values values)
{
    auto map = std::make_unique<CImageMapInfo>();
    map->m_FieldValues = std::move(values);
    return map;
}

TEST(ImageMapsTest, WriteGivesNumberedLinesAndTheFlagKeepsTheEnableValue)
{
    CImageMaps maps;
    maps.m_Children.push_back(Map({L"TIMH", L"0x5", L"0x20000", L"0x0", L"2", L"0"}));
    maps.m_Children.push_back(Map({L"OBMI", L"0xC", L"0x40000", L"0x0", L"0", L"0"}));
    const std::wstring mapLines[2] = {
        L"1_Image_Map_Info\n1_Image_ID = TIMH\n1_Image_Type = UNKNOWN\n1_Flash_Address_Lo = 0x20000\n"
        L"1_Flash_Address_Hi = 0x0\n1_Partition = 2\n",
        L"2_Image_Map_Info\n2_Image_ID = OBMI\n2_Image_Type = CUSTMOZIEDIMAGE_TYPE3\n"
        L"2_Flash_Address_Lo = 0x40000\n2_Flash_Address_Hi = 0x0\n2_Partition = 0\n",
    };
    for (bool flag : {false, true}) {
        const std::wstring enable = flag ? L"0" : L"1";
        std::wostringstream out;
        EXPECT_TRUE(maps.Write(out, flag));
        EXPECT_EQ(out.str(), L"Image_Maps\nNUM_MAPS = 2\n" + mapLines[0] + L"1_Enable = " + enable +
                                 L"\n1_End_Image_Map_Info\n" + mapLines[1] + L"2_Enable = " + enable +
                                 L"\n2_End_Image_Map_Info\nEnd_Image_Maps\n");
    }
}

// The custom type's number is unsigned, also past 0x80000008.
TEST(ImageMapsTest, WriteNamesEveryCustomTypeWithAnUnsignedNumber)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"0xA", L"CUSTMOZIEDIMAGE_TYPE1"},
        {L"0x80000008", L"CUSTMOZIEDIMAGE_TYPE2147483647"},
        {L"0x80000009", L"CUSTMOZIEDIMAGE_TYPE2147483648"},
        {L"0xFFFFFFFE", L"CUSTMOZIEDIMAGE_TYPE4294967285"},
    };
    for (const auto& [type, name] : cases) {
        CImageMaps maps;
        maps.m_Children.push_back(Map({L"TIMH", type, L"0x0", L"0x0", L"0", L"1"}));
        std::wostringstream out;
        ASSERT_TRUE(maps.Write(out, false));
        EXPECT_NE(out.str().find(L"\n1_Image_Type = " + name + L"\n"), std::wstring::npos) << out.str();
    }
}

TEST(ImageMapsTest, WrittenBlockReadsBack)
{
    CImageMaps maps;
    std::vector<Values> expected;
    uint32_t partition = 0;
    for (const wchar_t* type : {L"0x0", L"0x1", L"0x2", L"0x3", L"0xA", L"0xF", L"0x10", L"0x1D"}) {
        Values values = {L"IM" + std::to_wstring(partition), type, L"0x100", L"0x0",
                         std::to_wstring(partition), partition % 2 ? L"1" : L"0"};
        maps.m_Children.push_back(Map(values));
        expected.push_back(values);
        ++partition;
    }
    for (uint32_t type = 10; type <= 29; ++type) {
        std::wostringstream hex;
        hex << L"0x" << std::uppercase << std::hex << type;
        Values values = {L"TY", hex.str(), L"0x0", L"0x0", L"0", L"1"};
        maps.m_Children.push_back(Map(values));
        expected.push_back(values);
    }
    std::wostringstream out;
    ASSERT_TRUE(maps.Write(out, true));

    std::wistringstream in(out.str());
    std::wstring first;
    std::getline(in, first);
    ASSERT_EQ(first, L"Image_Maps");
    CImageMaps read;
    EXPECT_TRUE(read.Parse(in, first));
    EXPECT_EQ(MapValues(read), expected);
    EXPECT_EQ(read.m_FieldValues[0], std::to_wstring(expected.size()));
}

TEST(ImageMapsTest, WriteKeepsLongValuesWhole)
{
    CImageMaps maps;
    const std::wstring id(2000, L'I');
    maps.m_Children.push_back(Map({id, L"0x0", L"0x0", L"0x0", L"0", L"1"}));
    std::wostringstream out;
    ASSERT_TRUE(maps.Write(out, false));
    EXPECT_NE(out.str().find(L"\n1_Image_ID = " + id + L"\n"), std::wstring::npos);
}

TEST(ImageMapsTest, WriteReportsAFailedStream)
{
    CImageMaps maps;
    std::wostringstream out;
    out.setstate(std::ios_base::badbit);
    EXPECT_FALSE(maps.Write(out, false));
    CImageMapInfo map;
    EXPECT_FALSE(map.Write(out, false));

    std::wostringstream good;
    EXPECT_TRUE(map.Write(good, false));
    EXPECT_EQ(good.str(), L"Image_Map_Info\nEnd_Image_Map_Info\n");
}

TEST(ImageMapsTest, CopiesCountTheirMaps)
{
    CImageMaps source;
    source.m_FieldValues[0] = L"7";
    source.m_Children.push_back(Map({L"TIMH", L"0x1", L"0x20000", L"0xFFFFFFFF", L"0", L"1"}));
    source.m_Children.push_back(Map(kDefaults));

    const CImageMaps copy(source);
    EXPECT_EQ(copy.m_FieldNames[0], L"NUM_MAPS");
    EXPECT_EQ(copy.m_FieldValues[0], L"0x00000002");
    EXPECT_EQ(MapValues(copy), MapValues(source));
    EXPECT_EQ(source.m_FieldValues[0], L"7");

    CImageMaps target;
    target.m_Children.push_back(Map(kDefaults));
    target.Reset();  // even with its name emptied, an assignment names the count again
    target = source;
    EXPECT_EQ(target.m_FieldNames[0], L"NUM_MAPS");
    EXPECT_EQ(target.m_FieldValues[0], L"0x00000002");
    EXPECT_EQ(MapValues(target), MapValues(source));

    CImageMaps& same = source;
    source = same;
    EXPECT_EQ(source.m_FieldValues[0], L"7");
    EXPECT_EQ(source.MapCount(), 2u);

    target = CImageMaps();
    EXPECT_EQ(target.MapCount(), 0u);
    EXPECT_EQ(target.m_FieldValues[0], L"0x00000000");
}

TEST(ImageMapsTest, PackageHoldsTheCountAndFiveWordsPerMap)
{
    CImageMaps maps;
    maps.m_FieldValues[0] = L"9";
    maps.m_Children.push_back(Map({L"TIMH", L"0x1", L"0x20000", L"0x0", L"2", L"0"}));
    CReservedPackageData package;
    EXPECT_EQ(maps.AddToPackage(package), 32u);
    EXPECT_EQ(package.m_PackageId, L"0x494D4150");
    EXPECT_EQ(package.m_DataList, (TextList{L"9", L"TIMH", L"0x1", L"0x20000", L"0x0", L"2"}));
    EXPECT_EQ(package.m_DataComments,
              (TextList{L"NUM_MAPS", L"Image_ID", L"Type_ID", L"Flash_Address_Lo", L"Flash_Address_Hi", L"Partition"}));
}

TEST(ImageMapsTest, WriteValuesGivesTheNumbersOneAfterAnother)
{
    CImageMaps maps;
    maps.m_FieldValues[0] = L"1";
    maps.m_Children.push_back(Map({L"TIMH", L"0x1", L"0x20000", L"0xFFFFFFFF", L"0", L"1"}));
    std::wostringstream out;
    EXPECT_TRUE(maps.WriteValues(out));
    // IMAP, the size, the count, then the map (a tag text reads as 0).
    EXPECT_EQ(out.str(), L"1229799760" L"32" L"1" L"0" L"1" L"131072" L"4294967295" L"0" L"1");

    maps.m_Children.front()->m_FieldValues.pop_back();
    std::wostringstream broken;
    EXPECT_FALSE(maps.WriteValues(broken));
    maps.m_FieldValues.clear();
    EXPECT_FALSE(maps.WriteValues(broken));
}

}  // namespace
