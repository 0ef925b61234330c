// The bundle's Turtle, written from a plug-in instance: its channels, its
// parameters (names, ranges, defaults, steps, display texts) and its LV2
// description. The build runs this through a small tool, so the data files
// can never disagree with the code.
#include "WDL/IPlug/IPlugLV2.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

// A C identifier, as LV2 requires of port symbols.
bool ValidSymbol(const char* s)
{
  if (!s || !s[0] || !(s[0] == '_' || (s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) return false;
  for (const char* p = s; *p; ++p)
    if (!(*p == '_' || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9'))) return false;
  return true;
}

// A Turtle string literal.
std::string Quoted(const char* s)
{
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s ? s : ""); *p; ++p)
  {
    if (*p == '"' || *p == '\\') out += '\\';
    if (*p < 0x20)
    {
      char esc[8];
      snprintf(esc, sizeof(esc), "\\u%04X", *p);
      out += esc;
      continue;
    }
    out += (char)*p;
  }
  return out + "\"";
}

// A decimal literal that reads back as exactly x (the fewest places that
// do, at least one so that it is a decimal and not an integer).
std::string Decimal(double x)
{
  char buf[512];
  for (int places = 1; places <= 17; ++places)
  {
    snprintf(buf, sizeof(buf), "%.*f", places, x);
    if (strtod(buf, nullptr) == x) break;
  }
  return buf;
}

struct AudioPort
{
  std::string symbol, name;
};

// in_l / "Input L" for a stereo side, in / "Input" for a mono one, in_N /
// "Input N" otherwise; a channel's own label names it when it has one.
AudioPort AudioPortOf(bool input, int idx, int n, const char* label)
{
  static const char* const kLR[] = {"l", "r"};
  static const char* const kLRName[] = {"L", "R"};
  const std::string sym = input ? "in" : "out", name = input ? "Input" : "Output";
  AudioPort p;
  if (n == 1) p = {sym, name};
  else if (n == 2) p = {sym + "_" + kLR[idx], name + " " + kLRName[idx]};
  else p = {sym + "_" + std::to_string(idx + 1), name + " " + std::to_string(idx + 1)};
  if (label && label[0]) p.name = label;
  return p;
}

const char kPrefixes[] =
  "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
  "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
  "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
  "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
  "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
  "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
  "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
  "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
  "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
  "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
  "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
  "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

bool WriteFile(const std::string& path, const std::string& text, WDL_String* pError)
{
  FILE* f = fopen(path.c_str(), "wb");
  bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f && fclose(f) != 0) ok = false;
  if (!ok && pError) pError->SetFormatted(1024, "cannot write %s", path.c_str());
  return ok;
}

}  // namespace

bool IPlugLV2::WriteTurtle(const IPlugLV2Description& d, const char* folder, WDL_String* pError)
{
  auto fail = [&](const std::string& why) {
    if (pError) pError->Set(why.c_str());
    return false;
  };
  if (!d.mURI || !d.mBinary || !d.mTurtle || !folder) return fail("the description needs a URI, a binary and a data file");
  if (d.mUIURI && !d.mUIBinary) return fail("a UI needs a binary");
  if (d.mNPorts != NParams() || (NParams() && !d.mPorts))
    return fail("the description has " + std::to_string(d.mNPorts) + " ports for " + std::to_string(NParams()) +
                " parameters");

  IScopedCLocale cLocale;  // decimal points, whatever the caller's locale
  const std::string uri = d.mURI;
  const std::string inGroup = "<" + uri + "#in>", outGroup = "<" + uri + "#out>";
  const bool stereo = NInChannels() == 2 && NOutChannels() == 2;

  std::string manifest =
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n\n";
  manifest += "<" + uri + ">\n\ta lv2:Plugin ;\n\tlv2:binary <" + d.mBinary + "> ;\n\trdfs:seeAlso <" + d.mTurtle + "> .\n";
  if (d.mUIURI)
    manifest += "\n<" + std::string(d.mUIURI) + ">\n\ta ui:X11UI ;\n\tui:binary <" + d.mUIBinary + "> ;\n\trdfs:seeAlso <" +
                d.mTurtle + "> .\n";

  std::string ttl = kPrefixes;
  if (stereo)
  {
    ttl += inGroup + "\n\ta pg:StereoGroup, pg:InputGroup ;\n\tlv2:name \"Input\" ;\n\tlv2:symbol \"in\" .\n\n";
    ttl += outGroup + "\n\ta pg:StereoGroup, pg:OutputGroup ;\n\tlv2:name \"Output\" ;\n\tlv2:symbol \"out\" ;\n\tpg:source " +
           inGroup + " .\n\n";
  }
  // Who makes it, on the plug-in's project (doap:maintainer belongs there).
  const std::string project = "<" + uri + "#project>";
  if (GetMfrName()[0])
    ttl += project + "\n\ta doap:Project ;\n\tdoap:name " + Quoted(GetEffectName()) + " ;\n\tdoap:maintainer [ foaf:name " +
           Quoted(GetMfrName()) + " ] .\n\n";
  int major = 0, minor = 0, third = 0;
  GetVersionParts(GetEffectVersion(false), &major, &minor, &third);
  ttl += "<" + uri + ">\n\ta lv2:Plugin";
  if (d.mPluginClass) ttl += std::string(", lv2:") + d.mPluginClass;
  ttl += " ;\n\tdoap:name " + Quoted(GetEffectName()) + " ;\n";
  if (GetMfrName()[0]) ttl += "\tlv2:project " + project + " ;\n";
  ttl += "\tlv2:minorVersion " + std::to_string(minor) + " ;\n\tlv2:microVersion " + std::to_string(third) + " ;\n";
  ttl += "\tlv2:optionalFeature lv2:hardRTCapable, urid:map, opts:options ;\n";
  ttl += "\topts:supportedOption bufsz:maxBlockLength ;\n";
  ttl += "\tlv2:extensionData state:interface ;\n";
  if (d.mUIURI) ttl += "\tui:ui <" + std::string(d.mUIURI) + "> ;\n";
  if (stereo) ttl += "\tpg:mainInput " + inGroup + " ;\n\tpg:mainOutput " + outGroup + " ;\n";

  std::set<std::string> symbols;
  std::string ports;
  int index = 0;
  auto addPort = [&](const std::string& body) {
    // The port's class line first, then its index.
    const size_t classLine = body.find('\n') + 1;
    ports += std::string(ports.empty() ? "\tlv2:port [\n" : " , [\n") + body.substr(0, classLine) + "\t\tlv2:index " +
             std::to_string(index++) + " ;\n" + body.substr(classLine) + "\t]";
  };
  for (int side = 0; side < 2; ++side)
  {
    const bool input = side == 0;
    const int n = input ? NInChannels() : NOutChannels();
    for (int c = 0; c < n; ++c)
    {
      const AudioPort a = AudioPortOf(input, c, n, input ? GetInputLabel(c) : GetOutputLabel(c));
      symbols.insert(a.symbol);
      std::string body = std::string("\t\ta lv2:AudioPort, ") + (input ? "lv2:InputPort" : "lv2:OutputPort") + " ;\n";
      body += "\t\tlv2:symbol " + Quoted(a.symbol.c_str()) + " ;\n\t\tlv2:name " + Quoted(a.name.c_str()) + " ;\n";
      if (stereo)
        body += "\t\tpg:group " + (input ? inGroup : outGroup) + " ;\n\t\tlv2:designation pg:" + (c ? "right" : "left") + " ;\n";
      addPort(body);
    }
  }
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam* pParam = GetParam(i);
    const IPlugLV2Port& port = d.mPorts[i];
    const char* name = (port.mName && port.mName[0]) ? port.mName : pParam->GetNameForHost();
    if (!ValidSymbol(port.mSymbol)) return fail("parameter " + std::to_string(i) + ": the symbol is no C identifier");
    if (!symbols.insert(port.mSymbol).second) return fail(std::string("the symbol ") + port.mSymbol + " is used twice");
    if (!name[0]) return fail("parameter " + std::to_string(i) + " has no name");

    std::string body = "\t\ta lv2:ControlPort, lv2:InputPort ;\n";
    body += "\t\tlv2:symbol " + Quoted(port.mSymbol) + " ;\n\t\tlv2:name " + Quoted(name) + " ;\n";
    body += "\t\tlv2:default " + Decimal(pParam->GetDefault()) + " ;\n";
    body += "\t\tlv2:minimum " + Decimal(pParam->GetMin()) + " ;\n\t\tlv2:maximum " + Decimal(pParam->GetMax()) + " ;\n";
    if (IsToggle(pParam)) body += "\t\tlv2:portProperty lv2:toggled ;\n";
    else if (IsStepped(pParam))
      body += std::string("\t\tlv2:portProperty lv2:integer") +
              (pParam->Type() == IParam::kTypeEnum ? ", lv2:enumeration" : "") + " ;\n";
    if (port.mUnit) body += std::string("\t\tunits:unit units:") + port.mUnit + " ;\n";
    for (int k = 0; k < pParam->GetNDisplayTexts(); ++k)
    {
      int value = 0;
      const char* text = pParam->GetDisplayTextAtIdx(k, &value);
      body += "\t\tlv2:scalePoint [ rdfs:label " + Quoted(text) + " ; rdf:value " + Decimal(value) + " ] ;\n";
    }
    addPort(body);
  }
  ttl += ports + " .\n";

  if (d.mUIURI)
  {
    ttl += "\n<" + std::string(d.mUIURI) + ">\n\ta ui:X11UI ;\n";
    ttl += "\tlv2:requiredFeature ui:parent ;\n";
    ttl += "\tlv2:optionalFeature ui:idleInterface, ui:touch, ui:resize, ui:noUserResize ;\n";
    ttl += "\tlv2:extensionData ui:idleInterface .\n";
  }

  const std::string dir = folder;
  return WriteFile(dir + "/manifest.ttl", manifest, pError) && WriteFile(dir + "/" + d.mTurtle, ttl, pError);
}
