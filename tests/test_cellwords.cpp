// The words and numbers kept in list cells: the shared leading-number rule,
// the state words and the multi-part marker.
#include "leadingnumber.h"
#include "statewords.h"

#include <gtest/gtest.h>

#include <limits>

// --- the leading-number rule -------------------------------------------------

TEST(LeadingNumber, ReadsDigitsAfterLeadingBlanksUpToTheFirstOtherCharacter)
{
    EXPECT_EQ(LeadingNumber(u" 12abc"), 12);
    EXPECT_EQ(LeadingNumber(u"37%"), 37);
    EXPECT_EQ(LeadingNumber(u"   4096"), 4096);
    EXPECT_EQ(LeadingNumber(u"1500/20000 bytes"), 1500);
    EXPECT_EQ(LeadingNumber(u"007"), 7);
    // A blank ends the number like any other character once digits started.
    EXPECT_EQ(LeadingNumber(u"1 2"), 1);
}

TEST(LeadingNumber, ReadsZeroWhenNoDigitsLead)
{
    EXPECT_EQ(LeadingNumber(u"abc"), 0);
    EXPECT_EQ(LeadingNumber(u""), 0);
    EXPECT_EQ(LeadingNumber(u"    "), 0);
    EXPECT_EQ(LeadingNumber(u"x17"), 0);
    EXPECT_EQ(LeadingNumber(u"-5"), 0);
    EXPECT_EQ(LeadingNumber(QStringView()), 0);
}

TEST(LeadingNumber, SaturatesAtTheLargestValueInsteadOfWrapping)
{
    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    EXPECT_EQ(LeadingNumber(u"9223372036854775806"), Largest - 1);
    EXPECT_EQ(LeadingNumber(u"9223372036854775807"), Largest);
    EXPECT_EQ(LeadingNumber(u"9223372036854775808"), Largest);
    EXPECT_EQ(LeadingNumber(u"92233720368547758070"), Largest);
    EXPECT_EQ(LeadingNumber(u" 99999999999999999999999999 bytes"), Largest);
}

// --- state words -------------------------------------------------------------

TEST(StateWords, WaitingMeansNothingButBlanks)
{
    EXPECT_TRUE(IsWaitingState(QString()));
    EXPECT_TRUE(IsWaitingState(QStringLiteral(" ")));
    EXPECT_TRUE(IsWaitingState(QStringLiteral("    ")));
    EXPECT_TRUE(IsWaitingState(StateWaiting));
    for (const QString &word : {QString(StateProgress), QString(StateDone), QString(StateTooSmall),
                                QString(StateAborted), QString(StateFailed)}) {
        EXPECT_FALSE(IsWaitingState(word)) << qPrintable(word);
        EXPECT_FALSE(IsWaitingState(QStringLiteral(" ") + word)) << qPrintable(word);
    }
}

TEST(StateWords, DoneIgnoresLetterCaseButNotExtraText)
{
    EXPECT_TRUE(IsDoneState(StateDone));
    EXPECT_TRUE(IsDoneState(QStringLiteral("DONE")));
    EXPECT_TRUE(IsDoneState(QStringLiteral("done")));
    EXPECT_TRUE(IsDoneState(QStringLiteral("dOnE")));
    EXPECT_FALSE(IsDoneState(QString()));
    EXPECT_FALSE(IsDoneState(QStringLiteral("Done ")));
    // A file equal to an earlier download is complete too.
    EXPECT_TRUE(IsDoneState(StateDoneSameAs(QStringLiteral("a.jpg"))));
    EXPECT_FALSE(IsDoneState(StateProgress));
    EXPECT_FALSE(IsDoneState(StateAborted));
}

// --- the multi-part marker ---------------------------------------------------

TEST(MultipartMarker, EmptyOrBlankMeansOneConnection)
{
    EXPECT_EQ(ParseMultipartMarker(QString()).kind, MultipartMarker::Single);
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("   ")).kind, MultipartMarker::Single);
}

TEST(MultipartMarker, TrueInAnyCaseAndWithBlanksMeansNotYetSplit)
{
    for (const char *text : {"true", "TRUE", "  TRUE  ", "True", " T RUE"}) {
        const MultipartMarker marker = ParseMultipartMarker(QString::fromLatin1(text));
        EXPECT_EQ(marker.kind, MultipartMarker::NotSplit) << text;
        EXPECT_EQ(marker.number, 0) << text;
    }
}

TEST(MultipartMarker, AnyOtherTextMeansResumeWithItsLeadingNumber)
{
    using M = MultipartMarker;
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("17")), (M{M::Resume, 17}));
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral(" 1 7 ")), (M{M::Resume, 17}));
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("4711abc")), (M{M::Resume, 4711}));
    // No usable number: still Resume, with 0 left for the caller to judge.
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("0")), (M{M::Resume, 0}));
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("yes")), (M{M::Resume, 0}));
    EXPECT_EQ(ParseMultipartMarker(QStringLiteral("truely")), (M{M::Resume, 0}));
}

