// What the LV2 build says about TORVEN beyond its parameters. The symbols are
// what hosts store in sessions and presets: they, the URIs and the port order
// never change.
#include "TORVEN/TORVEN.h"

namespace {

const IPlugLV2Port kPorts[kNumParams] = {
  {"out_gain", nullptr, "db"},  // kOut
  {"hpf", nullptr, nullptr},  // kHPF
  {"lpf", nullptr, nullptr},  // kLPF
  {"gain_high", nullptr, nullptr},  // kGainH
  {"gain_mid", nullptr, nullptr},  // kGainM
  {"gain_low", nullptr, nullptr},  // kGainL
  // Not the host's enable designation: that one means 1 = processing, and
  // asks for a click-free change, where this switch is 1 = bypassed, at once.
  {"bypass", nullptr, nullptr},  // kBypass
  // The parameter has no name of its own; LV2 needs one.
  {"oversampling", "Oversampling", nullptr},  // kOversampling
};

}  // namespace

const IPlugLV2Description kTORVENLV2 = {
  "https://www.morvane.com/torven",
  "https://www.morvane.com/torven#ui",
  "TORVEN.so",
  "TORVEN_ui.so",
  "TORVEN.ttl",
  "EQPlugin",
  kPorts,
  kNumParams,
};
