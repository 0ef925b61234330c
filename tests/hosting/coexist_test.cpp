// Two plug-ins built on the framework in one host process: the tutorial gain
// plug-in and TORVEN, two instances of each, and two copies of the same
// library. Each keeps its own identity, parameters, state and audio; closing
// one leaves the others working; and each library exports only its entry
// points, so nothing of one framework copy can bind to the other.
#include "test_host_p.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <utility>

using namespace hosting;

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 256;

// The defined global symbols of a shared object's dynamic symbol table, read
// from the file (what nm -D --defined-only lists). Unique symbols, which the
// dynamic linker would merge across libraries, are reported with a "!" prefix.
std::set<std::string> DynamicExports(const std::string& path, std::string* pError)
{
  std::ifstream f(path, std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::set<std::string> out;
  if (d.size() < sizeof(Elf64_Ehdr) || memcmp(d.data(), ELFMAG, SELFMAG) != 0 || d[EI_CLASS] != ELFCLASS64)
  {
    *pError = "not a 64-bit ELF file";
    return out;
  }
  Elf64_Ehdr eh;
  memcpy(&eh, d.data(), sizeof(eh));
  auto section = [&](size_t i) {
    Elf64_Shdr sh{};
    const size_t off = eh.e_shoff + i * sizeof(Elf64_Shdr);
    if (off + sizeof(sh) <= d.size()) memcpy(&sh, d.data() + off, sizeof(sh));
    return sh;
  };
  for (size_t i = 0; i < eh.e_shnum; ++i)
  {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr str = section(sh.sh_link);
    if (sh.sh_offset + sh.sh_size > d.size() || str.sh_offset + str.sh_size > d.size())
    {
      *pError = "truncated symbol table";
      return out;
    }
    for (size_t k = 0; k < sh.sh_size / sizeof(Elf64_Sym); ++k)
    {
      Elf64_Sym sym;
      memcpy(&sym, d.data() + sh.sh_offset + k * sizeof(Elf64_Sym), sizeof(sym));
      const int bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || bind == STB_LOCAL || sym.st_name >= str.sh_size) continue;
      const std::string name(reinterpret_cast<const char*>(d.data() + str.sh_offset + sym.st_name));
      out.insert(bind == STB_GNU_UNIQUE ? "!" + name : name);
    }
  }
  return out;
}

// Copies a file; false on any failure.
bool CopyFile(const std::string& from, const std::string& to)
{
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

double DbToFactor(double db) { return std::pow(10.0, db / 20.0); }

// The gain's normalised value for a plain value in dB (range -70 .. 12).
float GainNorm(double db) { return (float)((db + 70.0) / 82.0); }

// The factor the plug-in applies after the host sent normalised value n.
double FactorOfNorm(float n) { return DbToFactor(-70.0 + 82.0 * (double)n); }

void ExpectGainOutput(const Stereo& in, const Stereo& out, double factor, const char* what)
{
  double worst = 0.0;
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < in.Size(); ++i)
      worst = std::max(worst, std::fabs(out.ch[c][i] - in.ch[c][i] * factor));
  // The plug-in uses exp(dB * ln(10) / 20) with a 13-digit constant.
  EXPECT_LT(worst, 1e-10) << what;
}

// TORVEN with some controls away from their defaults.
void SetTorvenControls(Plug& p)
{
  p.SetParam(0, 0.6f);   // OUT +3 dB
  p.SetParam(1, 0.3f);   // HPF
  p.SetParam(2, 0.5f);   // LPF
  p.SetParam(3, 0.8f);   // GainH
  p.SetParam(4, 0.3f);   // GainM
  p.SetParam(5, 0.65f);  // GainL
}

class Coexist : public ::testing::Test
{
protected:
  void SetUp() override
  {
    HostLog::Get().Clear();  // effect records may reuse a closed instance's address
    ASSERT_TRUE(gain->Ok()) << gain->Error();
    ASSERT_TRUE(torven->Ok()) << torven->Error();
  }
  std::unique_ptr<PlugLib> gain = std::make_unique<PlugLib>(IPLUGGAIN_SO);
  std::unique_ptr<PlugLib> torven = std::make_unique<PlugLib>(TORVEN_SO);
};

}  // namespace

TEST(Exports, OnlyTheEntryPoints)
{
  const std::set<std::string> vst = {"VSTPluginMain", "main"};
  const std::pair<const char*, std::set<std::string>> kBinaries[] = {
    {IPLUGGAIN_SO, vst},
    {TORVEN_SO, vst},
#if defined(TORVEN_LV2_SO)
    {TORVEN_LV2_SO, {"lv2_descriptor"}},
    {TORVEN_LV2UI_SO, {"lv2ui_descriptor"}},
#endif
  };
  for (const auto& b : kBinaries)
  {
    std::string err;
    const std::set<std::string> names = DynamicExports(b.first, &err);
    EXPECT_EQ(err, "") << b.first;
    EXPECT_EQ(names, b.second) << b.first;
  }
}

TEST_F(Coexist, EachKeepsItsIdentity)
{
  Plug g1(*gain), g2(*gain), t1(*torven), t2(*torven);
  for (Plug* p : {&g1, &g2, &t1, &t2})
  {
    ASSERT_TRUE(p->Ok());
    p->Start(kRate, kBlock);
  }
  EXPECT_NE(g1.Effect(), g2.Effect());
  EXPECT_NE(g1.Effect()->object, g2.Effect()->object);
  EXPECT_NE(t1.Effect()->object, g1.Effect()->object);
  // The two libraries have their own code: different entry points, dispatchers.
  EXPECT_NE(reinterpret_cast<void*>(gain->Entry()), reinterpret_cast<void*>(torven->Entry()));
  EXPECT_NE(reinterpret_cast<void*>(g1.Effect()->dispatcher), reinterpret_cast<void*>(t1.Effect()->dispatcher));
  EXPECT_EQ(g1.Effect()->dispatcher, g2.Effect()->dispatcher);

  for (Plug* g : {&g1, &g2})
  {
    const AEffect* e = g->Effect();
    EXPECT_EQ(e->uniqueID, VstFourCC('G', 'a', 'i', 'n'));
    EXPECT_EQ(e->numParams, 1);
    EXPECT_EQ(e->numPrograms, 3);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->version, 10000);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_TRUE(e->flags & effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & effFlagsCanDoubleReplacing);
    EXPECT_TRUE(e->flags & effFlagsCanMono);
    EXPECT_FALSE(e->flags & effFlagsHasEditor);
    EXPECT_EQ(g->Text(effGetEffectName), "IPlugGain");
    EXPECT_EQ(g->Text(effGetProductString), "IPlug Gain");
    EXPECT_EQ(g->Text(effGetVendorString), "Morvane");
    EXPECT_EQ(g->Call(effGetVendorVersion), 10000);
    EXPECT_EQ(g->Text(effGetParamName, 0), "Gain");
    EXPECT_EQ(g->Text(effGetParamLabel, 0), "dB");
    EXPECT_EQ(g->Text(effGetParamDisplay, 0), "0.0");
    EXPECT_FLOAT_EQ(g->GetParam(0), GainNorm(0.0));
    EXPECT_EQ(g->Text(effGetProgramNameIndexed, 0), "Unity");
    EXPECT_EQ(g->Text(effGetProgramNameIndexed, 1), "-6 dB");
    EXPECT_EQ(g->Text(effGetProgramNameIndexed, 2), "+6 dB");
    EXPECT_EQ(g->Call(effGetProgramNameIndexed, 3, 0, nullptr), 0);
    EXPECT_EQ(g->Call(effGetPlugCategory), kPlugCategEffect);
  }
  for (Plug* t : {&t1, &t2})
  {
    const AEffect* e = t->Effect();
    EXPECT_EQ(e->uniqueID, VstFourCC('T', 'r', 'v', '1'));
    EXPECT_EQ(e->numParams, 8);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->version, 40000);
    EXPECT_EQ(t->Text(effGetEffectName), "TORVEN");
    EXPECT_EQ(t->Text(effGetVendorString), "Morvane");
    EXPECT_EQ(t->Text(effGetParamName, 0), "OUT");
    EXPECT_EQ(t->Text(effGetParamName, 6), "Bypass");
  }
  // The host was identified per instance, through each instance's own record.
  for (Plug* p : {&g1, &g2, &t1, &t2})
    EXPECT_EQ(HostLog::Get().Count(audioMasterGetProductString, p->Effect()), 1);
}

TEST_F(Coexist, ParametersAndStateStayApart)
{
  Plug g1(*gain), g2(*gain), t1(*torven), t2(*torven);
  for (Plug* p : {&g1, &g2, &t1, &t2}) p->Start(kRate, kBlock);
  const std::vector<unsigned char> g2Fresh = g2.GetChunk(), t2Fresh = t2.GetChunk();
  ASSERT_EQ(g2Fresh.size(), 8u + 8u);   // version header + one double
  ASSERT_EQ(t2Fresh.size(), 8u + 64u);  // version header + eight doubles

  g1.SetParam(0, GainNorm(-12.0));
  SetTorvenControls(t1);
  EXPECT_EQ(g1.Text(effGetParamDisplay, 0), "-12.0");
  EXPECT_EQ(g2.Text(effGetParamDisplay, 0), "0.0");
  EXPECT_FLOAT_EQ(g2.GetParam(0), GainNorm(0.0));
  EXPECT_FLOAT_EQ(t1.GetParam(3), 0.8f);
  EXPECT_FLOAT_EQ(t2.GetParam(3), 0.5f);
  EXPECT_EQ(g2.GetChunk(), g2Fresh);
  EXPECT_EQ(t2.GetChunk(), t2Fresh);

  // A chunk moves one instance's state into another, and only there.
  const std::vector<unsigned char> g1State = g1.GetChunk(), t1State = t1.GetChunk();
  EXPECT_NE(g1State, g2Fresh);
  EXPECT_NE(t1State, t2Fresh);
  ASSERT_TRUE(g2.SetChunk(g1State));
  ASSERT_TRUE(t2.SetChunk(t1State));
  EXPECT_EQ(g2.Text(effGetParamDisplay, 0), "-12.0");
  EXPECT_EQ(t2.GetChunk(), t1State);
  g1.SetParam(0, GainNorm(6.0));
  t1.SetParam(3, 0.1f);
  EXPECT_EQ(g2.Text(effGetParamDisplay, 0), "-12.0");
  EXPECT_FLOAT_EQ(t2.GetParam(3), 0.8f);

  // Programs are per instance too.
  g1.Call(effSetProgram, 0, 1);
  EXPECT_EQ(g1.Call(effGetProgram), 1);
  EXPECT_EQ(g1.Text(effGetParamDisplay, 0), "-6.0");
  EXPECT_EQ(g2.Call(effGetProgram), 0);
  EXPECT_EQ(g2.Text(effGetParamDisplay, 0), "-12.0");
  g2.Call(effSetProgramName, 0, 0, const_cast<char*>("Mine"));
  EXPECT_EQ(g2.Text(effGetProgramName), "Mine");
  EXPECT_EQ(g1.Text(effGetProgramNameIndexed, 0), "Unity");

  // Bank chunks: the whole set of presets, per instance.
  const std::vector<unsigned char> bank2 = g2.GetChunk(false);
  ASSERT_FALSE(bank2.empty());
  ASSERT_TRUE(g1.SetChunk(bank2, false));
  EXPECT_EQ(g1.Text(effGetProgramNameIndexed, 0), "Mine");
  // A bank does not carry the current program: g1 stays on program 1.
  EXPECT_EQ(g1.Call(effGetProgram), 1);
  EXPECT_EQ(g1.Text(effGetParamDisplay, 0), "-6.0");
  g1.Call(effSetProgram, 0, 0);
  EXPECT_EQ(g1.Text(effGetParamDisplay, 0), "-12.0");
  EXPECT_EQ(g2.Text(effGetProgramNameIndexed, 1), "-6 dB");
}

TEST_F(Coexist, AudioStaysApartAndClosingOneLeavesTheOthers)
{
  const Stereo in = TestSignal(16 * kBlock, kRate);
  const size_t half = in.Size() / 2;

  // TORVEN alone: the reference.
  Stereo ref;
  {
    Plug t(*torven);
    t.Start(kRate, kBlock);
    SetTorvenControls(t);
    ref = t.Render(in, kBlock);
    ASSERT_TRUE(AllFinite(ref));
  }

  auto g1 = std::make_unique<Plug>(*gain);
  auto g2 = std::make_unique<Plug>(*gain);
  Plug t1(*torven), t2(*torven);
  for (Plug* p : {g1.get(), g2.get(), &t1, &t2}) p->Start(kRate, kBlock);
  g1->Call(effSetProgram, 0, 1);  // -6 dB
  g2->SetParam(0, GainNorm(10.0));
  SetTorvenControls(t1);
  t2.SetParam(6, 1.f);  // bypass

  // Round robin, block by block, as a host runs several tracks.
  Stereo o1(in.Size()), o2(in.Size()), ot1(in.Size()), ot2(in.Size());
  for (size_t pos = 0; pos < half; pos += kBlock)
  {
    g1->ProcessD(in, o1, pos, kBlock);
    t1.ProcessD(in, ot1, pos, kBlock);
    g2->ProcessF(in, o2, pos, kBlock);
    t2.ProcessD(in, ot2, pos, kBlock);
  }
  o1.ch[0].resize(half);
  o1.ch[1].resize(half);
  Stereo inHalf(half);
  for (int c = 0; c < 2; ++c) std::copy(in.ch[c].begin(), in.ch[c].begin() + (long)half, inHalf.ch[c].begin());
  ExpectGainOutput(inHalf, o1, DbToFactor(-6.0), "instance 1 at -6 dB");
  double worst2 = 0.0;
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < half; ++i)
      worst2 = std::max(worst2, std::fabs(o2.ch[c][i] - (double)(float)(in.ch[c][i] * FactorOfNorm(GainNorm(10.0)))));
  EXPECT_LT(worst2, 1e-6) << "instance 2 at +10 dB, single precision";
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < half; ++i) ASSERT_EQ(ot2.ch[c][i], in.ch[c][i]) << "bypassed TORVEN, frame " << i;

  // The gain plug-in goes away entirely, library and all.
  g1.reset();
  g2.reset();
  gain.reset();
  gain = std::make_unique<PlugLib>(IPLUGGAIN_SO);
  for (size_t pos = half; pos < in.Size(); pos += kBlock) t1.ProcessD(in, ot1, pos, kBlock);
  EXPECT_EQ(MaxDiff(ot1, ref), 0.0) << "TORVEN must not notice the other plug-ins";

  // Loaded again, it starts from its defaults: 0 dB is exactly unity.
  Plug g3(*gain);
  ASSERT_TRUE(g3.Ok());
  g3.Start(kRate, kBlock);
  EXPECT_EQ(g3.Text(effGetParamDisplay, 0), "0.0");
  EXPECT_EQ(g3.Call(effGetProgram), 0);
  EXPECT_EQ(MaxDiff(g3.Render(in, kBlock), in), 0.0);
}

// Two copies of the same library (as when two plug-ins link the same framework
// version) must not share anything either.
TEST_F(Coexist, TwoCopiesOfOneLibrary)
{
  char dir[] = "/tmp/hosting_copyXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string copy = std::string(dir) + "/IPlugGainCopy.so";
  ASSERT_TRUE(CopyFile(IPLUGGAIN_SO, copy));
  {
    PlugLib other(copy);
    ASSERT_TRUE(other.Ok()) << other.Error();
    EXPECT_NE(other.Handle(), gain->Handle());
    EXPECT_NE(reinterpret_cast<void*>(other.Entry()), reinterpret_cast<void*>(gain->Entry()));
    // The old entry name creates the same kind of instance.
    ASSERT_NE(other.OldEntry(), nullptr);

    Plug a(*gain), b(other);
    a.Start(kRate, kBlock);
    b.Start(kRate, kBlock);
    a.SetParam(0, GainNorm(-20.0));
    b.Call(effSetProgram, 0, 2);  // +6 dB
    const Stereo in = TestSignal(4 * kBlock, kRate);
    ExpectGainOutput(in, a.Render(in, kBlock), FactorOfNorm(GainNorm(-20.0)), "original at -20 dB");
    ExpectGainOutput(in, b.Render(in, kBlock), DbToFactor(6.0), "copy at +6 dB");
    EXPECT_EQ(a.Call(effGetProgram), 0);

    AEffect* viaMain = other.OldEntry()(RecordingHost);
    ASSERT_NE(viaMain, nullptr);
    EXPECT_EQ(viaMain->uniqueID, VstFourCC('G', 'a', 'i', 'n'));
    viaMain->dispatcher(viaMain, effClose, 0, 0, nullptr, 0.f);
  }
  std::remove(copy.c_str());
  rmdir(dir);
}
