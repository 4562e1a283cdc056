#include <gtest/gtest.h>

#include <stdexcept>

#include "core/u_math.h"
#include "io/u_fichier.h"
#include "support/fits_writer.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"

namespace caustica {
namespace {

using test::BuildHeader;
using test::Card;
using test::RawCard;
using test::TextCard;

// Reads a header made of the given cards (after SIMPLE) from a scratch file.
struct HeaderFile {
  test::ScratchDir dir;
  TImgInfos infos;
  std::int64_t length = -1;
  bool ok = false;
  explicit HeaderFile(const std::vector<std::string>& cards, bool withEnd = true) {
    std::vector<std::string> all = {Card("SIMPLE", "T")};
    all.insert(all.end(), cards.begin(), cards.end());
    Read(BuildHeader(all, withEnd));
  }
  void Read(const std::string& bytes) {
    const std::string path = dir.File("h.fits");
    test::WriteBytes(path, bytes);
    ok = ReadFitsHeader(path, length, infos);
  }
};

TEST(ParseFloatAnySeparator, PointAndCommaGiveTheSameValue) {
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("12.75"), 12.75);
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("12,75"), 12.75);
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("-1,5E3"), -1500.0);
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("+3"), 3.0);
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator(" 7 "), 7.0);
}

TEST(ParseFloatAnySeparator, RejectsMalformedText) {
  for (const char* bad :
       {"", "  ", "abc", "1.5x", "1..5", "1,2.3", "nan", "inf", "-infinity", "1e999", "+-1", "0x10", "--2"})
    EXPECT_THROW(ParseFloatAnySeparator(bad), std::invalid_argument) << bad;
}

TEST(ParseFloatAnySeparator, DoesNotDependOnTheUserSeparator) {
  test::ProgramStateGuard state;
  SetDecimalSeparator(',');
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("2.5"), 2.5);
  EXPECT_DOUBLE_EQ(ParseFloatAnySeparator("2,5"), 2.5);
}

TEST(ParseFloatOrZero, UsesTheUserSeparatorAndGivesZeroOtherwise) {
  test::ProgramStateGuard state;
  SetDecimalSeparator(',');
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("2,5"), 2.5);
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("2.5"), 0.0);
  SetDecimalSeparator('.');
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("2.5"), 2.5);
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("2,5"), 0.0);
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ParseFloatOrZero(""), 0.0);
  EXPECT_DOUBLE_EQ(ParseFloatOrZero("nan"), 0.0);
}

TEST(DateAndTimeParts, SplitAtTheFirstT) {
  EXPECT_EQ(DatePart("2023-05-01T21:30:00"), "2023-05-01");
  EXPECT_EQ(TimePart("2023-05-01T21:30:00"), "21:30:00");
  EXPECT_EQ(DatePart("2023-05-01"), "");
  EXPECT_EQ(TimePart("2023-05-01"), "2023-05-01");
}

TEST(ApplyFitsKeyword, LowerRankWinsAndEqualRankTakesTheLaterCard) {
  TImgInfos a;
  TFitsRanks r;
  ApplyFitsKeyword("MIPS-HI", "100", a, r);
  ApplyFitsKeyword("DATAMAX", "200", a, r);
  ApplyFitsKeyword("MIPS-HI", "300", a, r);
  EXPECT_DOUBLE_EQ(a.HighLevel[1], 200.0);
  EXPECT_DOUBLE_EQ(a.HighLevel[3], 200.0);
  ApplyFitsKeyword("DATAMAX", "250", a, r);
  EXPECT_DOUBLE_EQ(a.HighLevel[1], 250.0);

  TImgInfos b;
  TFitsRanks rb;
  ApplyFitsKeyword("FOCAL", "2000000", b, rb);
  ApplyFitsKeyword("FOCLEN", "1.2", b, rb);
  ApplyFitsKeyword("FOCAL", "5", b, rb);
  EXPECT_DOUBLE_EQ(b.FocalLength, 1200.0);
}

TEST(ApplyFitsKeyword, CdeltSetsFocalLengthOnlyWhenNoBetterFocalCardCame) {
  TImgInfos a;
  TFitsRanks r;
  ApplyFitsKeyword("CDELT1", "0.0003", a, r);
  EXPECT_DOUBLE_EQ(a.FocalLength, 1.0);
  EXPECT_EQ(r.Best[13], 9);
  EXPECT_EQ(r.Best[22], 255);

  TImgInfos b;
  TFitsRanks rb;
  ApplyFitsKeyword("FOCLEN", "0.8", b, rb);
  ApplyFitsKeyword("CDELT2", "garbage is not parsed", b, rb);
  EXPECT_DOUBLE_EQ(b.FocalLength, 800.0);
  EXPECT_EQ(rb.Best[14], 255);
}

TEST(ApplyFitsKeyword, SubsampMultipliesAndCopiesWhateverTheRanks) {
  TImgInfos a;
  TFitsRanks r;
  ApplyFitsKeyword("CDELTM1", "0.0052", a, r);  // 5.2 micrometres
  ApplyFitsKeyword("SUBSAMP", "2", a, r);
  EXPECT_DOUBLE_EQ(a.PixelSizeX, 10.4);
  EXPECT_DOUBLE_EQ(a.PixelSizeY, 10.4);
  ApplyFitsKeyword("XPIXELSZ", "9", a, r);  // rank 3 loses against CDELTM1
  EXPECT_DOUBLE_EQ(a.PixelSizeX, 10.4);
  EXPECT_EQ(r.Best[13], 2);
}

TEST(ApplyFitsKeyword, TableEffects) {
  TImgInfos a;
  TFitsRanks r;
  ApplyFitsKeyword("CRVAL1", "150", a, r);
  ApplyFitsKeyword("RA", "30", a, r);
  ApplyFitsKeyword("EXPOSURE", "2.5", a, r);
  ApplyFitsKeyword("MIRORX", "T", a, r);
  ApplyFitsKeyword("MIRRORY", "F", a, r);
  ApplyFitsKeyword("MIRORY", "T", a, r);  // rank 3 loses
  ApplyFitsKeyword("AMDX1", "206.27", a, r);
  ApplyFitsKeyword("BSCALE", "0.5", a, r);
  ApplyFitsKeyword("BZERO", "2.5", a, r);
  ApplyFitsKeyword("naxis1", "99", a, r);  // case-sensitive: ignored
  ApplyFitsKeyword("TELESCOP", std::string(100, 'x'), a, r);
  EXPECT_DOUBLE_EQ(a.RightAscension, 10.0);
  EXPECT_EQ(a.Exposure, 2);
  EXPECT_TRUE(a.MirrorX);
  EXPECT_FALSE(a.MirrorY);
  EXPECT_DOUBLE_EQ(a.FocalLength, 1.0);
  EXPECT_DOUBLE_EQ(a.BScale, 0.5);  // kept exact
  EXPECT_DOUBLE_EQ(a.BZero, 2.5);
  EXPECT_EQ(a.Naxis1, 0);
  EXPECT_EQ(a.Telescope.size(), 80u);
  EXPECT_THROW(ApplyFitsKeyword("NAXIS1", "12.5", a, r), std::invalid_argument);
  EXPECT_THROW(ApplyFitsKeyword("NAXIS1", "99999999999", a, r), std::invalid_argument);
}

TEST(ReadFitsHeader, EndInFirstOrSecondBlockGivesTheDataOffset) {
  HeaderFile one({});
  EXPECT_TRUE(one.ok);
  EXPECT_EQ(one.length, 2880);

  std::vector<std::string> cards(34, Card("HISTORY", "'x'"));  // SIMPLE + 34 + END = 36 cards
  HeaderFile exact(cards);
  EXPECT_TRUE(exact.ok);
  EXPECT_EQ(exact.length, 2880);

  cards.push_back(Card("HISTORY", "'y'"));
  HeaderFile two(cards);
  EXPECT_TRUE(two.ok);
  EXPECT_EQ(two.length, 5760);
}

TEST(ReadFitsHeader, QuotesSlashesAndCommentaryCards) {
  HeaderFile h({RawCard("OBSERVER= 'O''Brien / team' / who"), RawCard("TELESCOP= 'Newton 200  '"),
                RawCard("INSTRUME= ASI 174 / camera"), RawCard("FILTERS = ''"), RawCard("DIAMETER= 203,2"),
                RawCard("COMMENT   first"), RawCard("COMMENT second"), RawCard("         third"),
                RawCard("HISTORY not a comment"), RawCard("COMMENT fourth"), RawCard("COMMENT fifth"),
                RawCard("EXPOSURE=       / nothing before the slash"), RawCard("OBSERVAT= 'open")});
  ASSERT_TRUE(h.ok);
  EXPECT_EQ(h.infos.Observer, "O'Brien / team");
  EXPECT_EQ(h.infos.Telescope, "Newton 200  ");
  EXPECT_EQ(h.infos.Instrument, "ASI 174");
  EXPECT_EQ(h.infos.Filters, "");
  EXPECT_DOUBLE_EQ(h.infos.Diameter, 203.2);
  EXPECT_EQ(h.infos.Comments[1], "  first");
  EXPECT_EQ(h.infos.Comments[2], "second");
  EXPECT_EQ(h.infos.Comments[3], " third");
  EXPECT_EQ(h.infos.Comments[4], "fourth");
  EXPECT_EQ(h.infos.Exposure, 0);
  EXPECT_EQ(h.infos.Observatory, "open");  // unclosed string: collected text, trimmed
}

TEST(ReadFitsHeader, PrecedenceAcrossCards) {
  HeaderFile h({Card("DATAMAX", "10"), Card("MIPS-HI", "20"), Card("THRESL", "1"), Card("MIPS-LO", "2"),
                Card("CDELT1", "1.5"), Card("FOCAL", "3000")});
  ASSERT_TRUE(h.ok);
  EXPECT_DOUBLE_EQ(h.infos.HighLevel[1], 10.0);
  EXPECT_DOUBLE_EQ(h.infos.LowLevel[1], 2.0);
  EXPECT_DOUBLE_EQ(h.infos.FocalLength, 3.0);  // FOCAL after CDELT1 still wins
}

TEST(ReadFitsHeader, FailuresKeepTheFieldsReadSoFar) {
  HeaderFile noEnd({Card("OBSERVER", "'me'")}, false);
  EXPECT_FALSE(noEnd.ok);
  EXPECT_EQ(noEnd.length, 2880);
  EXPECT_EQ(noEnd.infos.Observer, "me");

  HeaderFile bad({Card("OBSERVER", "'me'"), Card("NAXIS1", "1O0"), Card("TELESCOP", "'never'")});
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.infos.Observer, "me");
  EXPECT_EQ(bad.infos.Telescope, "");

  HeaderFile notFits({});
  notFits.Read(BuildHeader({Card("XTENSION", "'IMAGE'")}));
  EXPECT_FALSE(notFits.ok);

  HeaderFile shortFile({});
  shortFile.Read("SIMPLE  =                    T");
  EXPECT_FALSE(shortFile.ok);
  EXPECT_EQ(shortFile.length, 0);

  TImgInfos infos;
  std::int64_t length = -1;
  EXPECT_FALSE(ReadFitsHeader("/nonexistent/file.fits", length, infos));
}

}  // namespace
}  // namespace caustica
