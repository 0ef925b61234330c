// Program and bank files written and read by the host: the published byte
// layout, round trips in both variants, and refusals that change nothing.
#include "tests/plughost/plughost_test_util.h"

#include "tests/plughost/fake_plugin_p.h"
#include "tools/demo.h"
#include "tools/fxfile.h"

#include <cstring>

namespace {

using namespace plughost_test;
using vsthost::Bytes;

std::unique_ptr<vsthost::Plugin> Load(const char* path)
{
  std::string error;
  auto p = vsthost::Plugin::Load(path, &error);
  EXPECT_TRUE(p) << error;
  if (p) p->Open();
  return p;
}

uint32_t BigEndianAt(const Bytes& b, size_t at)
{
  return ((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) | ((uint32_t)b[at + 2] << 8) | b[at + 3];
}

std::string FourAt(const Bytes& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

std::vector<float> Values(vsthost::Plugin& p)
{
  std::vector<float> v;
  for (int i = 0; i < p.NumParams(); ++i) v.push_back(p.GetParameter(i));
  return v;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(FxFiles, ThirdPartyProgramRoundTripThroughTheCommandLine)
{
  REQUIRE_PLUGIN(k3BandEQ);
  ScratchDir dir;
  const std::string in = dir / "in.wav";
  ASSERT_TRUE(WriteAudio(in, plughost::MakeDemoPiece(48000.0, 0.5), 2, 48000));
  // This plug-in computes its crossovers only when their parameters are set,
  // so they are set here as a program load sets them.
  RunResult r = RunPlughost({"render", k3BandEQ, in, dir / "set.wav", "--set", "High=-12", "--set", "Low=3",
                             "--set", "Low-Mid Freq=220", "--set", "mid-high freq=2000", "--save-fxp",
                             dir / "a.fxp"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // The published layout: big-endian, 56 header bytes, then 6 floats.
  const Bytes a = ToBytes(Slurp(dir / "a.fxp"));
  ASSERT_EQ(a.size(), 56u + 6 * 4);
  EXPECT_EQ(FourAt(a, 0), "CcnK");
  EXPECT_EQ(BigEndianAt(a, 4), a.size() - 8);
  EXPECT_EQ(FourAt(a, 8), "FxCk");
  EXPECT_EQ(BigEndianAt(a, 12), 1u);
  EXPECT_EQ(FourAt(a, 16), "D3EQ");
  EXPECT_EQ(BigEndianAt(a, 24), 6u);
  EXPECT_STREQ(reinterpret_cast<const char*>(&a[28]), "Default");
  const uint32_t highBits = BigEndianAt(a, 56 + 2 * 4);
  float high;
  memcpy(&high, &highBits, 4);
  EXPECT_NEAR(high, 0.25f, 1e-6);  // -12 dB in -24 .. +24

  // Loading it reproduces both the sound and the file.
  r = RunPlughost({"render", k3BandEQ, in, dir / "fxp.wav", "--fxp", dir / "a.fxp", "--save-fxp", dir / "b.fxp"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Slurp(dir / "a.fxp") == Slurp(dir / "b.fxp"));
  Audio set, fxp, fxb;
  ASSERT_TRUE(ReadAudio(dir / "set.wav", &set));
  ASSERT_TRUE(ReadAudio(dir / "fxp.wav", &fxp));
  EXPECT_EQ(MaxAbsDiff(set.data, fxp.data), 0.0);

  // A bank too.
  r = RunPlughost({"render", k3BandEQ, in, dir / "x.wav", "--fxp", dir / "a.fxp", "--save-fxb", dir / "a.fxb"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = RunPlughost({"render", k3BandEQ, in, dir / "fxb.wav", "--fxb", dir / "a.fxb"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(ReadAudio(dir / "fxb.wav", &fxb));
  EXPECT_EQ(MaxAbsDiff(set.data, fxb.data), 0.0);
}

TEST(FxFiles, RefusedFilesOnTheCommandLine)
{
  REQUIRE_PLUGIN(k3BandEQ);
  REQUIRE_PLUGIN(kZamComp);
  ScratchDir dir;
  const std::string in = dir / "in.wav", out = dir / "o.wav";
  ASSERT_TRUE(WriteAudio(in, plughost::MakeDemoPiece(48000.0, 0.1), 2, 48000));
  ASSERT_EQ(RunPlughost({"render", k3BandEQ, in, out, "--save-fxp", dir / "eq.fxp"}).exitCode, 0);
  remove(out.c_str());
  ExpectOneLineError(RunPlughost({"render", kZamComp, in, out, "--fxp", dir / "eq.fxp"}), 1,
                     "the program is for plug-in 'D3EQ', not 'ZCMP'");
  ExpectOneLineError(RunPlughost({"render", k3BandEQ, in, out, "--fxb", dir / "eq.fxp"}), 1,
                     "a program file, not a bank file");
  ExpectOneLineError(RunPlughost({"render", k3BandEQ, in, out, "--fxp", in}), 1, "not a VST program file");
  ExpectOneLineError(RunPlughost({"render", k3BandEQ, in, out, "--fxp", dir / "none.fxp"}), 1, "cannot read");
  EXPECT_FALSE(Exists(out));
}

TEST(FxFiles, ParameterProgramCarriesValuesAndName)
{
  auto a = Load(FAKE_PLUGIN);
  auto b = Load(FAKE_PLUGIN);
  ASSERT_TRUE(a && b);
  a->SetParameter(fakeplugin::kGain, 0.125f);
  a->SetParameter(fakeplugin::kTone, 0.875f);
  a->SetProgramName("A name of 27 characters!!!!");  // longer than the plug-in keeps
  Bytes image;
  std::string error;
  ASSERT_TRUE(vsthost::MakeProgramImage(*a, &image, &error)) << error;
  EXPECT_EQ(image.size(), 56u + 5 * 4);
  EXPECT_EQ(FourAt(image, 8), "FxCk");
  EXPECT_EQ(BigEndianAt(image, 20), 1234u);  // fxVersion: the plug-in's version
  ASSERT_TRUE(vsthost::ApplyProgramImage(*b, image, &error)) << error;
  EXPECT_EQ(Values(*a), Values(*b));
  EXPECT_EQ(b->CurrentProgramName(), a->CurrentProgramName());
  EXPECT_EQ(b->CurrentProgramName(), "A name of 27 characters");  // 23 + terminator
}

TEST(FxFiles, ChunkProgramAndBank)
{
  auto a = Load(FAKE_CHUNK_PLUGIN);
  auto b = Load(FAKE_CHUNK_PLUGIN);
  ASSERT_TRUE(a && b);
  a->SetParameter(fakeplugin::kMode, 0.9f);
  a->SetProgramName("Chunky");
  Bytes image;
  std::string error;
  ASSERT_TRUE(vsthost::MakeProgramImage(*a, &image, &error)) << error;
  EXPECT_EQ(FourAt(image, 8), "FPCh");
  EXPECT_EQ(FourAt(image, 16), "PhFc");
  const uint32_t chunkSize = BigEndianAt(image, 56);
  EXPECT_EQ(image.size(), 60u + chunkSize);
  EXPECT_EQ(BigEndianAt(image, 4), image.size() - 8);
  ASSERT_TRUE(vsthost::ApplyProgramImage(*b, image, &error)) << error;
  EXPECT_EQ(Values(*a), Values(*b));
  EXPECT_EQ(b->CurrentProgramName(), "Chunky");

  // The whole bank, with the second program current.
  a->SetProgram(1);
  a->SetParameter(fakeplugin::kGain, 0.0625f);
  ASSERT_TRUE(vsthost::MakeBankImage(*a, &image, &error)) << error;
  EXPECT_EQ(FourAt(image, 8), "FBCh");
  EXPECT_EQ(BigEndianAt(image, 24), 2u);
  EXPECT_EQ(BigEndianAt(image, 28), 1u);
  auto c = Load(FAKE_CHUNK_PLUGIN);
  ASSERT_TRUE(c);
  ASSERT_TRUE(vsthost::ApplyBankImage(*c, image, &error)) << error;
  EXPECT_EQ(c->CurrentProgram(), 1);
  EXPECT_EQ(Values(*c), Values(*a));
  c->SetProgram(0);
  a->SetProgram(0);
  EXPECT_EQ(Values(*c), Values(*a));

  // A chunk for a plug-in that takes none is refused, whatever the ID says.
  ASSERT_TRUE(vsthost::MakeProgramImage(*a, &image, &error));
  image[16] = 'P', image[17] = 'h', image[18] = 'F', image[19] = 'k';
  auto plain = Load(FAKE_PLUGIN);
  ASSERT_TRUE(plain);
  const std::vector<float> before = Values(*plain);
  EXPECT_FALSE(vsthost::ApplyProgramImage(*plain, image, &error));
  EXPECT_NE(error.find("does not take chunks"), std::string::npos) << error;
  EXPECT_EQ(Values(*plain), before);

  // A chunk the plug-in rejects is reported.
  ASSERT_TRUE(vsthost::MakeProgramImage(*a, &image, &error));
  image[60] = 'X';
  EXPECT_FALSE(vsthost::ApplyProgramImage(*b, image, &error));
  EXPECT_NE(error.find("refused the program's state chunk"), std::string::npos) << error;
}

TEST(FxFiles, ParameterBankKeepsLiveEditsAndEveryProgram)
{
  auto a = Load(FAKE_PLUGIN);
  ASSERT_TRUE(a);
  a->SetProgram(1);
  a->SetParameter(fakeplugin::kTone, 0.3f);
  a->SetProgram(0);
  a->SetParameter(fakeplugin::kGain, 0.9f);  // a live edit of the current program
  const std::vector<float> live = Values(*a);
  Bytes image;
  std::string error;
  ASSERT_TRUE(vsthost::MakeBankImage(*a, &image, &error)) << error;
  EXPECT_EQ(image.size(), 156u + 2 * (56 + 5 * 4));
  EXPECT_EQ(FourAt(image, 8), "FxBk");
  EXPECT_EQ(BigEndianAt(image, 12), 2u);
  EXPECT_EQ(FourAt(image, 156 + 8), "FxCk");
  EXPECT_STREQ(reinterpret_cast<const char*>(&image[156 + 76 + 28]), "Bright");
  // Making the bank visited program 1 and came back without losing the edit.
  EXPECT_EQ(a->CurrentProgram(), 0);
  EXPECT_EQ(Values(*a), live);

  auto b = Load(FAKE_PLUGIN);
  ASSERT_TRUE(b);
  ASSERT_TRUE(vsthost::ApplyBankImage(*b, image, &error)) << error;
  EXPECT_EQ(b->CurrentProgram(), 0);
  EXPECT_EQ(Values(*b), live);
  b->SetProgram(1);
  a->SetProgram(1);
  EXPECT_EQ(Values(*b), Values(*a));
  EXPECT_EQ(b->CurrentProgramName(), "Bright");
}

TEST(FxFiles, DamagedFilesChangeNothing)
{
  auto src = Load(FAKE_PLUGIN);
  auto dst = Load(FAKE_PLUGIN);
  ASSERT_TRUE(src && dst);
  src->SetParameter(fakeplugin::kGain, 0.2f);
  Bytes program, bank;
  std::string error;
  ASSERT_TRUE(vsthost::MakeProgramImage(*src, &program, &error));
  ASSERT_TRUE(vsthost::MakeBankImage(*src, &bank, &error));
  dst->SetProgram(1);
  const std::vector<float> before1 = Values(*dst);
  dst->SetProgram(0);
  const std::vector<float> before0 = Values(*dst);

  struct Case
  {
    const char* what;
    Bytes image;
    bool isBank;
    const char* words;
  };
  std::vector<Case> cases;
  auto patched = [](Bytes b, size_t at, uint32_t v) {
    b[at] = (unsigned char)(v >> 24), b[at + 1] = (unsigned char)(v >> 16);
    b[at + 2] = (unsigned char)(v >> 8), b[at + 3] = (unsigned char)v;
    return b;
  };
  cases.push_back({"truncated program", Bytes(program.begin(), program.end() - 1), false, "truncated"});
  cases.push_back({"header only", Bytes(program.begin(), program.begin() + 40), false, "truncated"});
  cases.push_back({"magic only", Bytes(program.begin(), program.begin() + 8), false, "not a VST program file"});
  cases.push_back({"empty", Bytes(), false, "not a VST program file"});
  cases.push_back({"wrong container", patched(program, 0, 0x52494646), false, "not a VST program file"});
  cases.push_back({"unknown type", patched(program, 8, 0x41424344), false, "type 'ABCD'"});
  cases.push_back({"future version", patched(program, 12, 7), false, "version 7"});
  cases.push_back({"other plug-in", patched(program, 16, 0x41424344), false, "for plug-in 'ABCD', not 'PhFk'"});
  cases.push_back({"parameter count", patched(program, 24, 4), false, "4 parameters"});
  cases.push_back({"NaN value", patched(program, 60, 0x7fc00000), false, "parameter 1 holds no number"});
  cases.push_back({"bank as program", bank, false, "a bank file"});
  cases.push_back({"program as bank", program, true, "a program file"});
  cases.push_back({"truncated bank", Bytes(bank.begin(), bank.end() - 4), true, "program 1 of the bank: "});
  cases.push_back({"too many programs", patched(bank, 24, 3), true, "the bank has 3 programs"});
  // A bad second block must stop the load before the first is applied.
  cases.push_back({"bad second block", patched(bank, 156 + 76 + 8, 0x41424344), true, "program 1 of the bank"});
  cases.push_back({"bank NaN", patched(bank, 156 + 76 + 56, 0x7f800000), true, "holds no number"});
  for (const Case& c : cases)
  {
    error.clear();
    const bool ok = c.isBank ? vsthost::ApplyBankImage(*dst, c.image, &error)
                             : vsthost::ApplyProgramImage(*dst, c.image, &error);
    EXPECT_FALSE(ok) << c.what;
    EXPECT_NE(error.find(c.words), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(dst->CurrentProgram(), 0) << c.what;
    EXPECT_EQ(Values(*dst), before0) << c.what;
  }
  dst->SetProgram(1);
  EXPECT_EQ(Values(*dst), before1);
}

}  // namespace
