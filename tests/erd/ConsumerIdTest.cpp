#include "erd/ConsumerId.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "erd/ReservedPackageData.h"

namespace {

TEST(ConsumerIdTest, ParseReadsCidAndPidLinesUpToTheEndLine)
{
    struct Case {
        const char* name;
        std::wstring block;  // the lines after "Consumer_ID"
        bool parsed;
        std::wstring cid;
        TextList pids;
        std::wstring unread;  // the next line left in the stream
    };
    const std::vector<Case> cases = {
        {"a consumer with two packages", L"CID = TIMH\nPID = DDRH\n\n PID=GPIO \nEnd_Consumer_ID\nCID = OBMI\n", true,
         L"TIMH", {L"DDRH", L"GPIO"}, L"CID = OBMI"},
        {"only the consumer", L"CID = TIMH\nEnd_Consumer_ID\n", true, L"TIMH", {}, L""},
        {"the end line first", L"End_Consumer_ID\nCID = TIMH\n", true, L"0", {}, L"CID = TIMH"},
        {"a later CID line replaces the first", L"CID = TIMH\nCID = OBMI\nEnd_Consumer_ID", true, L"OBMI", {}, L""},
        {"no end line: the text's end ends the block", L"CID = TIMH\nPID = DDRH", true, L"TIMH", {L"DDRH"}, L""},
        {"no end line, blank lines last", L"CID = TIMH\n \n\t\n", true, L"TIMH", {}, L""},
        // The reader hands such a last line over as an empty line.
        {"no end line, blanks without a line feed last", L"CID = TIMH\n\n  ", false, L"TIMH", {}, L""},
        {"a name in lower case", L"cid = TIMH\nPID = DDRH\n", false, L"0", {}, L"PID = DDRH"},
        {"a comment line", L"CID = TIMH\n; the packages\nPID = DDRH\n", false, L"TIMH", {}, L"PID = DDRH"},
        {"a line without '='", L"PID = DDRH\nCID TIMH\nEnd_Consumer_ID\n", false, L"0", {L"DDRH"},
         L"End_Consumer_ID"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CConsumerID consumer;
        std::wistringstream stream(c.block);
        EXPECT_EQ(consumer.Parse(stream, L"Consumer_ID"), c.parsed);
        EXPECT_EQ(consumer.m_FieldValues[CConsumerID::kCid], c.cid);
        EXPECT_EQ(consumer.m_PIDs, c.pids);
        EXPECT_EQ(consumer.Size(), 8 + 4 * c.pids.size());
        std::wstring unread;
        std::getline(stream, unread);
        EXPECT_EQ(unread, c.unread);
    }
}

TEST(ConsumerIdTest, PackedWordsAreTheTagsWithTheirTextsAsComments)
{
    CConsumerID consumer;
    consumer.m_FieldValues[CConsumerID::kCid] = L"TIMH";
    consumer.m_PIDs = {L"DDRH", L"GPIO"};
    EXPECT_EQ(consumer.Size(), 16u);

    CReservedPackageData package;
    EXPECT_EQ(consumer.AddToPackage(package), 24u);
    EXPECT_EQ(package.m_PackageId, L"");
    EXPECT_EQ(package.m_DataList, (TextList{L"0x54494D48", L"0x00000002", L"0x44445248", L"0x4750494F"}));
    EXPECT_EQ(package.m_DataComments, (TextList{L"TIMH", L"num PIDs", L"DDRH", L"GPIO"}));

    // The consumers of a descriptor share one package; the result is its
    // whole size.
    CConsumerID second;
    second.m_FieldValues[CConsumerID::kCid] = L"OBMI";
    EXPECT_EQ(second.AddToPackage(package), 32u);  // six words
}

TEST(ConsumerIdTest, WrittenBlockReadsBack)
{
    CConsumerID consumer;
    consumer.m_FieldValues[CConsumerID::kCid] = L"TIMH";
    consumer.m_PIDs = {L"DDRH", L"GPIO"};
    std::wostringstream out;
    EXPECT_TRUE(consumer.Write(out, false));
    EXPECT_EQ(out.str(), L"Consumer_ID\nCID = TIMH\nPID = DDRH\nPID = GPIO\nEnd_Consumer_ID\n");

    std::wistringstream in(out.str());
    std::wstring first;
    std::getline(in, first);
    CConsumerID read;
    EXPECT_TRUE(read.Parse(in, first));
    EXPECT_EQ(read.m_FieldValues, consumer.m_FieldValues);
    EXPECT_EQ(read.m_PIDs, consumer.m_PIDs);

    // A line longer than any fixed buffer is written whole.
    consumer.m_PIDs = {std::wstring(3000, L'P')};
    std::wostringstream longLine;
    EXPECT_TRUE(consumer.Write(longLine, false));
    EXPECT_EQ(longLine.str(), L"Consumer_ID\nCID = TIMH\nPID = " + std::wstring(3000, L'P') + L"\nEnd_Consumer_ID\n");

    std::wostringstream failed;
    failed.setstate(std::ios_base::badbit);
    EXPECT_FALSE(consumer.Write(failed, false));
}

TEST(ConsumerIdTest, AssignmentCopiesTheIdentifiers)
{
    CConsumerID consumer;
    consumer.m_PIDs = {L"DDRH", L"GPIO"};
    CConsumerID& same = consumer;
    consumer = same;
    EXPECT_EQ(consumer.m_PIDs, (TextList{L"DDRH", L"GPIO"}));

    CConsumerID other;
    other.m_FieldValues[CConsumerID::kCid] = L"OBMI";
    other.m_PIDs = {L"TZID"};
    consumer = other;
    EXPECT_EQ(consumer.m_FieldValues[CConsumerID::kCid], L"OBMI");
    EXPECT_EQ(consumer.m_PIDs, (TextList{L"TZID"}));

    consumer.Reset();
    EXPECT_TRUE(consumer.m_PIDs.empty());
    EXPECT_EQ(consumer.m_FieldValues[CConsumerID::kCid], L"OBMI");
}

}  // namespace
