// Presets, banks, the chunk header and the FXP/FXB files, byte for byte.
#include "WDL/IPlug/IPlugBase.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kID = ('T' << 24) | ('s' << 16) | ('t' << 8) | '1';

// A plug-in with one bool, one int, and double parameters; optionally chunks.
class StatePlug : public IPlugBase
{
public:
  StatePlug(bool chunks, int nPresets = 3, int nParams = 4)
    : IPlugBase(nParams, "2-2", nPresets, "State", "", "Maker", 0x40000, kID, kID, 0, false, chunks, false, kAPIVST2)
  {
    GetParam(0)->InitBool("Switch", false);
    if (nParams > 1) GetParam(1)->InitInt("Mode", 2, 0, 10);
    for (int i = 2; i < nParams; ++i) GetParam(i)->InitDouble("Level", 0.25, 0.0, 1.0, 0.01);
  }
  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int idx, double v) override { informed.emplace_back(idx, v); }
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override { ++programChanges; }
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSig(int* n, int* d) override { *n = *d = 0; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiMsg(IMidiMsg*) override { return false; }

  std::vector<double> Values() const
  {
    std::vector<double> v;
    for (int i = 0; i < NParams(); ++i) v.push_back(GetParam(i)->Value());
    return v;
  }

  std::vector<std::pair<int, double>> informed;
  int programChanges = 0;
};

class TempFile
{
public:
  TempFile()
  {
    char tmpl[] = "/tmp/torven_state_XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    path = tmpl;
    name.Set(tmpl);
  }
  ~TempFile() { unlink(path.c_str()); }
  std::vector<unsigned char> Read() const
  {
    std::vector<unsigned char> bytes;
    FILE* fp = fopen(path.c_str(), "rb");
    int c;
    while (fp && (c = fgetc(fp)) != EOF) bytes.push_back((unsigned char)c);
    if (fp) fclose(fp);
    return bytes;
  }
  void Write(const std::vector<unsigned char>& bytes) const
  {
    FILE* fp = fopen(path.c_str(), "wb");
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), fp);
    fclose(fp);
  }
  std::string path;
  WDL_String name;
};

uint32_t BE32(const std::vector<unsigned char>& b, size_t pos)
{
  return ((uint32_t)b[pos] << 24) | ((uint32_t)b[pos + 1] << 16) | ((uint32_t)b[pos + 2] << 8) | b[pos + 3];
}

float BEFloat(const std::vector<unsigned char>& b, size_t pos)
{
  uint32_t bits = BE32(b, pos);
  float f;
  memcpy(&f, &bits, 4);
  return f;
}

std::string Str4(const std::vector<unsigned char>& b, size_t pos)
{
  return std::string(b.begin() + pos, b.begin() + pos + 4);
}

TEST(ChunkHeader, WritesAndReadsTheVersionHeader)
{
  ByteChunk chunk;
  IPlugBase::InitChunkWithIPlugVer(&chunk);
  ASSERT_EQ(chunk.Size(), 8);
  EXPECT_EQ(memcmp(chunk.GetData(), "tffp\0\0\1\0", 8), 0);
  int pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&chunk, &pos), 0x10000);
  EXPECT_EQ(pos, 8);

  ByteChunk other;
  int v = 1234;
  other.PutValue(&v);
  other.PutValue(&v);
  pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&other, &pos), 0);
  EXPECT_EQ(pos, 0);

  ByteChunk magicOnly;
  magicOnly.PutBytes("tffp", 4);
  pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&magicOnly, &pos), 0);
  EXPECT_EQ(pos, -1);
  pos = -1;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&chunk, &pos), 0);
  EXPECT_EQ(pos, -1);
}

TEST(Presets, MakeOperationsFillTheNextEmptySlot)
{
  StatePlug plug(false, 3);
  plug.MakePreset("Full", 1, 7, 0.5, 0.75);
  plug.MakePresetFromNamedParams("Named", 1, 3, 0.9);
  plug.MakePresetFromBlob("Blob", "AAAA", 3);
  plug.MakePresetFromBlob("Ignored", "AAAA", 3);  // every slot taken: nothing
  EXPECT_EQ(plug.GetPresetName(0), std::string("Full"));
  EXPECT_EQ(plug.GetPresetName(1), std::string("Named"));
  EXPECT_EQ(plug.GetPresetName(2), std::string("Blob"));
  EXPECT_EQ(plug.GetPresetName(3), std::string(""));
  EXPECT_EQ(plug.GetPreset(2)->mChunk.Size(), 3);

  ASSERT_TRUE(plug.RestorePreset(0));
  EXPECT_EQ(plug.Values(), (std::vector<double>{1, 7, 0.5, 0.75}));
  ASSERT_TRUE(plug.RestorePreset("Named"));
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
  // Unnamed parameters took the values current when the preset was made.
  EXPECT_EQ(plug.Values(), (std::vector<double>{0, 2, 0.25, 0.9}));
  EXPECT_FALSE(plug.RestorePreset(""));
  EXPECT_FALSE(plug.RestorePreset(nullptr));
  EXPECT_FALSE(plug.RestorePreset("missing"));
  EXPECT_FALSE(plug.RestorePreset(9));
  EXPECT_FALSE(plug.RestorePreset(2));  // a 3-byte state does not load
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 1);
}

TEST(Presets, BlobDecodingStopsWhereTheAlphabetEnds)
{
  StatePlug plug(false, 2);
  plug.MakePresetFromBlob("a", "AAAA", 2);
  plug.MakePresetFromBlob("b", "/w==", 4);  // 0xff, then zeros
  EXPECT_EQ(plug.GetPreset(0)->mChunk.Size(), 2);
  ASSERT_EQ(plug.GetPreset(1)->mChunk.Size(), 4);
  const unsigned char* d = plug.GetPreset(1)->mChunk.GetData();
  EXPECT_EQ(d[0], 0xff);
  EXPECT_EQ(d[1], 0);
  EXPECT_EQ(d[3], 0);
}

TEST(Presets, EmptySlotsBecomeNumberedUserPresets)
{
  StatePlug plug(false, 4);
  plug.MakeDefaultPreset("user preset 1", 1);
  plug.MakeDefaultPreset("user preset 2", 1);
  ASSERT_TRUE(plug.RestorePreset(3));
  EXPECT_EQ(plug.GetPresetName(3), std::string("user preset 3"));
  EXPECT_TRUE(plug.GetPreset(3)->mInitialized);
  plug.PruneUninitializedPresets();
  EXPECT_EQ(plug.NPresets(), 3);
  EXPECT_EQ(plug.GetPresetName(2), std::string("user preset 3"));
}

TEST(Banks, LayoutOfOneInitialisedPreset)
{
  StatePlug plug(false, 1, 8);
  plug.MakeDefaultPreset("A", 1);
  ByteChunk bank;
  ASSERT_TRUE(plug.SerializePresets(&bank));
  ASSERT_EQ(bank.Size(), 4 + 1 + 1 + 64);
  const unsigned char* d = bank.GetData();
  EXPECT_EQ(memcmp(d, "\1\0\0\0A\1", 6), 0);
  ByteChunk state;
  plug.SerializeState(&state);
  EXPECT_EQ(memcmp(d + 6, state.GetData(), 64), 0);
}

TEST(Banks, FewerAndMorePresetsThanThePlugInHas)
{
  StatePlug source(false, 3);
  source.MakePreset("one", 1, 1, 0.1, 0.1);
  source.MakePreset("two", 0, 2, 0.2, 0.2);
  source.MakePreset("three", 1, 3, 0.3, 0.3);
  ByteChunk bank;
  ASSERT_TRUE(source.SerializePresets(&bank));

  StatePlug fewer(false, 2);
  EXPECT_EQ(fewer.UnserializePresets(&bank, 0) > 0, true);  // stops after its two presets
  EXPECT_EQ(fewer.GetPresetName(1), std::string("two"));
  EXPECT_EQ(fewer.GetCurrentPresetIdx(), 0);
  EXPECT_EQ(fewer.Values(), (std::vector<double>{1, 1, 0.1, 0.1}));

  StatePlug more(false, 5);
  more.MakeDefaultPreset("keep", 5);
  EXPECT_EQ(more.UnserializePresets(&bank, 0), -1);  // runs out at the fourth
  EXPECT_EQ(more.GetPresetName(2), std::string("three"));
  EXPECT_EQ(more.GetPresetName(3), std::string("three"));  // took the last name read
  EXPECT_EQ(more.GetPresetName(4), std::string("keep"));   // untouched
}

TEST(Files, ParameterProgramLayout)
{
  StatePlug plug(false, 1, 8);
  plug.MakeDefaultPreset("Warm", 1);
  TempFile f;
  ASSERT_TRUE(plug.SaveProgramAsFXP(&f.name));
  const std::vector<unsigned char> b = f.Read();
  ASSERT_EQ(b.size(), 88u);
  EXPECT_EQ(Str4(b, 0), "CcnK");
  EXPECT_EQ(BE32(b, 4), 0u);
  EXPECT_EQ(Str4(b, 8), "FxCk");
  EXPECT_EQ(BE32(b, 12), 1u);
  EXPECT_EQ(BE32(b, 16), (uint32_t)kID);
  EXPECT_EQ(BE32(b, 20), 40000u);
  EXPECT_EQ(b[20], 0x00);
  EXPECT_EQ(b[22], 0x9C);
  EXPECT_EQ(b[23], 0x40);
  EXPECT_EQ(BE32(b, 24), 8u);
  EXPECT_EQ(std::string((const char*)&b[28]), "Warm");
  for (size_t i = 28 + 4; i < 56; ++i) EXPECT_EQ(b[i], 0);
  EXPECT_FLOAT_EQ(BEFloat(b, 56 + 4 * 2), 0.25f);
}

TEST(Files, ChunkProgramLayoutAndRoundTrip)
{
  StatePlug plug(true, 1, 8);
  plug.MakeDefaultPreset("C", 1);
  TempFile f;
  ASSERT_TRUE(plug.SaveProgramAsFXP(&f.name));
  const std::vector<unsigned char> b = f.Read();
  ASSERT_EQ(b.size(), 132u);
  EXPECT_EQ(BE32(b, 4), 132u);
  EXPECT_EQ(Str4(b, 8), "FPCh");
  EXPECT_EQ(BE32(b, 56), 72u);
  EXPECT_EQ(memcmp(&b[60], "tffp", 4), 0);

  plug.GetParam(3)->Set(0.5);
  plug.GetParam(1)->Set(9);
  ASSERT_TRUE(plug.LoadProgramFromFXP(&f.name));
  EXPECT_EQ(plug.GetParam(3)->Value(), 0.25);
  EXPECT_EQ(plug.GetParam(1)->Value(), 2);
  EXPECT_EQ(plug.programChanges, 1);
}

TEST(Files, ParameterProgramRoundTripRoundsToSteps)
{
  StatePlug plug(false, 1);
  plug.MakeDefaultPreset("P", 1);
  plug.GetParam(1)->Set(7);
  plug.GetParam(2)->Set(0.6);
  TempFile f;
  ASSERT_TRUE(plug.SaveProgramAsFXP(&f.name));
  plug.GetParam(1)->Set(0);
  plug.GetParam(2)->Set(0);
  ASSERT_TRUE(plug.LoadProgramFromFXP(&f.name));
  EXPECT_EQ(plug.GetParam(1)->Value(), 7);
  EXPECT_NEAR(plug.GetParam(2)->Value(), 0.6, 1e-7);
  EXPECT_EQ(plug.GetPresetName(0), std::string("P"));
}

TEST(Files, ForeignAndDamagedProgramsChangeNothing)
{
  StatePlug plug(false, 1, 8);
  plug.MakeDefaultPreset("Mine", 1);
  TempFile f;
  ASSERT_TRUE(plug.SaveProgramAsFXP(&f.name));
  std::vector<unsigned char> good = f.Read();
  plug.GetParam(3)->Set(0.9);
  const std::vector<double> before = plug.Values();

  std::vector<unsigned char> foreign = good;
  foreign[19] ^= 1;
  f.Write(foreign);
  EXPECT_FALSE(plug.LoadProgramFromFXP(&f.name));
  std::vector<unsigned char> badMagic = good;
  badMagic[0] = 'X';
  f.Write(badMagic);
  EXPECT_FALSE(plug.LoadProgramFromFXP(&f.name));
  std::vector<unsigned char> badVersion = good;
  badVersion[15] = 2;
  f.Write(badVersion);
  EXPECT_FALSE(plug.LoadProgramFromFXP(&f.name));
  f.Write(std::vector<unsigned char>(good.begin(), good.begin() + 40));  // header cut short
  EXPECT_FALSE(plug.LoadProgramFromFXP(&f.name));
  f.Write({});
  EXPECT_FALSE(plug.LoadProgramFromFXP(&f.name));
  EXPECT_EQ(plug.Values(), before);
  EXPECT_EQ(plug.GetPresetName(0), std::string("Mine"));

  WDL_String none;
  EXPECT_FALSE(plug.LoadProgramFromFXP(&none));
  WDL_String missing("/nonexistent/dir/x.fxp");
  EXPECT_FALSE(plug.LoadProgramFromFXP(&missing));
  EXPECT_FALSE(plug.SaveProgramAsFXP(&none));
}

TEST(Files, TruncatedProgramLeavesMissingParametersAndCutsTheName)
{
  StatePlug plug(false, 1, 8);
  plug.MakeDefaultPreset("x", 1);
  TempFile f;
  ASSERT_TRUE(plug.SaveProgramAsFXP(&f.name));
  std::vector<unsigned char> b = f.Read();
  for (int i = 28; i < 56; ++i) b[i] = 'N';  // a name with no terminator
  float v = 0.8f;
  uint32_t bits;
  memcpy(&bits, &v, 4);
  for (int p = 2; p < 8; ++p)
    for (int k = 0; k < 4; ++k) b[56 + 4 * p + k] = (unsigned char)(bits >> (24 - 8 * k));
  b.resize(56 + 4 * 4);  // parameters 4..7 are not in the file
  f.Write(b);
  plug.GetParam(5)->Set(0.1);
  ASSERT_TRUE(plug.LoadProgramFromFXP(&f.name));
  EXPECT_NEAR(plug.GetParam(3)->Value(), 0.8, 1e-6);
  EXPECT_EQ(plug.GetParam(5)->Value(), 0.1);
  EXPECT_EQ(plug.GetPresetName(0), std::string(27, 'N'));
}

TEST(Files, ParameterBankLayoutAndRoundTrip)
{
  StatePlug plug(false, 2, 4);
  plug.MakePreset("first", 1, 3, 0.5, 0.5);
  plug.MakePreset("second", 0, 8, 0.75, 1.0);
  TempFile f;
  ASSERT_TRUE(plug.SaveBankAsFXB(&f.name));
  const std::vector<unsigned char> b = f.Read();
  ASSERT_EQ(b.size(), 156u + 2 * (56 + 16));
  EXPECT_EQ(Str4(b, 8), "FxBk");
  EXPECT_EQ(BE32(b, 12), 2u);
  EXPECT_EQ(BE32(b, 24), 2u);
  EXPECT_EQ(BE32(b, 28), 0u);
  EXPECT_EQ(Str4(b, 156), "CcnK");
  EXPECT_EQ(Str4(b, 156 + 8), "FxCk");
  EXPECT_EQ(std::string((const char*)&b[156 + 72 + 28]), "second");
  EXPECT_FLOAT_EQ(BEFloat(b, 156 + 72 + 56 + 8), 0.75f);

  StatePlug other(false, 2, 4);
  ASSERT_TRUE(other.LoadBankFromFXB(&f.name));
  EXPECT_EQ(other.GetPresetName(1), std::string("second"));
  EXPECT_EQ(other.GetCurrentPresetIdx(), 0);
  EXPECT_EQ(other.Values(), (std::vector<double>{1, 3, 0.5, 0.5}));
  ASSERT_TRUE(other.RestorePreset(1));
  EXPECT_EQ(other.Values(), (std::vector<double>{0, 8, 0.75, 1.0}));
}

TEST(Files, ChunkBankRoundTrip)
{
  StatePlug plug(true, 2, 4);
  plug.MakePreset("a", 1, 1, 0.1, 0.2);
  plug.MakePreset("b", 0, 5, 0.3, 0.4);
  TempFile f;
  ASSERT_TRUE(plug.SaveBankAsFXB(&f.name));
  const std::vector<unsigned char> b = f.Read();
  EXPECT_EQ(Str4(b, 8), "FBCh");
  EXPECT_EQ(BE32(b, 4), (uint32_t)b.size());
  EXPECT_EQ(BE32(b, 156) + 160, (uint32_t)b.size());

  StatePlug other(true, 2, 4);
  ASSERT_TRUE(other.LoadBankFromFXB(&f.name));
  EXPECT_EQ(other.GetPresetName(1), std::string("b"));
  ASSERT_TRUE(other.RestorePreset(1));
  EXPECT_EQ(other.Values(), (std::vector<double>{0, 5, 0.3, 0.4}));
}

TEST(Files, BanksShorterThanTheirHeaderOrForeignChangeNothing)
{
  StatePlug plug(false, 2, 4);
  plug.MakePreset("a", 1, 1, 0.1, 0.2);
  plug.MakePreset("b", 0, 5, 0.3, 0.4);
  TempFile f;
  ASSERT_TRUE(plug.SaveBankAsFXB(&f.name));
  const std::vector<unsigned char> good = f.Read();

  StatePlug other(false, 2, 4);
  other.MakeDefaultPreset("untouched", 2);
  const std::vector<double> before = other.Values();
  for (size_t n : {0u, 3u, 100u, 155u})
  {
    f.Write(std::vector<unsigned char>(good.begin(), good.begin() + n));
    EXPECT_FALSE(other.LoadBankFromFXB(&f.name)) << n;
  }
  std::vector<unsigned char> foreign = good;
  foreign[16] ^= 0x40;
  f.Write(foreign);
  EXPECT_FALSE(other.LoadBankFromFXB(&f.name));
  EXPECT_EQ(other.Values(), before);
  EXPECT_EQ(other.GetPresetName(1), std::string("untouched"));

  // A block with the wrong parameter count stops the load after earlier blocks.
  std::vector<unsigned char> badBlock = good;
  badBlock[156 + 72 + 27] = 9;
  f.Write(badBlock);
  EXPECT_FALSE(other.LoadBankFromFXB(&f.name));
  EXPECT_EQ(other.GetPresetName(0), std::string("a"));
  EXPECT_EQ(other.GetPresetName(1), std::string("untouched"));
}

TEST(Propagation, DirtyParametersAndReset)
{
  StatePlug plug(false, 1);
  plug.DirtyParameters();
  ASSERT_EQ(plug.informed.size(), 4u);
  EXPECT_EQ(plug.informed[2].first, 2);
  EXPECT_DOUBLE_EQ(plug.informed[2].second, 0.25);
}

TEST(Dumps, SourceCodeAndBlobs)
{
  StatePlug plug(false, 1);
  plug.MakeDefaultPreset("Dumped", 1);
  TempFile f;
  const char* names[] = {"kSwitch", "kMode", "kA", "kB"};
  plug.DumpPresetSrcCode(f.path.c_str(), names);
  const std::vector<unsigned char> src = f.Read();
  EXPECT_EQ(std::string(src.begin(), src.end()),
            "  MakePresetFromNamedParams(\"Dumped\", 4,\n    kSwitch, false,\n    kMode, 2,\n    kA, 0.250000,\n"
            "    kB, 0.250000);\n");

  plug.DumpPresetBlob(f.path.c_str());
  const std::vector<unsigned char> blob = f.Read();
  const std::string text(blob.begin(), blob.end());
  EXPECT_EQ(text.rfind("MakePresetFromBlob(\"Dumped\", \"", 0), 0u);
  EXPECT_NE(text.find("\", 32);\n"), std::string::npos);

  // The blob loads back into an identical preset.
  const size_t start = text.find("\", \"") + 4;
  const std::string encoded = text.substr(start, text.find('"', start) - start);
  StatePlug other(false, 1);
  other.MakePresetFromBlob("again", encoded.c_str(), 32);
  EXPECT_TRUE(other.GetPreset(0)->mChunk.IsEqual(plug.GetPreset(0)->mChunk));
}

}  // namespace

namespace {

TEST(Banks, OverlongPresetNamesAreCutToTheField)
{
  StatePlug plug(false, 1);
  ByteChunk bank;
  const std::string longName(1000, 'n');
  bank.PutString(longName.c_str());
  bank.PutFlag(true);
  ByteChunk state;
  plug.SerializeState(&state);
  bank.PutChunk(&state);
  EXPECT_EQ(plug.UnserializePresets(&bank, 0), bank.Size());
  EXPECT_EQ(std::string(plug.GetPresetName(0)), std::string(kMaxPresetNameLen - 1, 'n'));
}

TEST(Files, TruncatedParameterBankLeavesMissingParametersUnchanged)
{
  StatePlug plug(false, 1, 4);
  plug.MakePreset("only", 1, 9, 0.5, 0.5);
  TempFile f;
  ASSERT_TRUE(plug.SaveBankAsFXB(&f.name));
  std::vector<unsigned char> b = f.Read();
  ASSERT_EQ(b.size(), 156u + 56 + 16);
  b.resize(b.size() - 8);  // the last two parameters are missing

  StatePlug other(false, 1, 4);
  f.Write(b);
  other.GetParam(3)->Set(0.9);
  ASSERT_TRUE(other.LoadBankFromFXB(&f.name));
  EXPECT_EQ(other.GetParam(1)->Value(), 9);
  EXPECT_EQ(other.GetParam(3)->Value(), 0.9);
}

}  // namespace
