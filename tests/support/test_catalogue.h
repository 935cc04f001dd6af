// The instrument catalogue the page tests run with, on the recording stand-in and
// on real windows alike.
#pragma once

#include "catalogue/catalogue.h"

// Two instruments: ZR-40 (the converter's factory instrument) lets the user choose
// everything and has a polling minimum of -1 (its pollmin) at 9600 baud and of 3
// seconds at 4800 baud; TM-12 allows nothing to be changed and no 9600 baud.
inline constexpr const char* kPageCatalogueXml = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<KV4T>
  <device name="ZR-40" description="Регулятор ZR-40" validbauds="2400,4800,9600,19200"
    defbaud="9600" defbytesize="8" defparity="0" defstopbits="2" pollmin="2" pollmax="1000"
    flags="15">
    <version name="ZR40A12" description="ZR-40 (ZR40A12)" minpolls="5,3,-1,1" />
  </device>
  <device name="TM-12" description="Термометр TM-12" validbauds="1200,2400,4800"
    defbaud="2400" defbytesize="7" defparity="2" defstopbits="0" pollmin="4" pollmax="600"
    flags="0">
    <version name="TM12V1" description="TM-12 (TM12V1)" minpolls="8,6" />
  </device>
</KV4T>
)xml";

// The catalogue holds these two instruments and nothing else.
inline void LoadPageCatalogue() {
  ClearCatalogue();
  Catalogue().LoadText(kPageCatalogueXml);
}
