// Choosing an installed PPD for a printer from its 1284 id or make and model.

#include "printers/ppdmatch.h"

#include <gtest/gtest.h>

using namespace PrinterAPI;

namespace {

const std::vector<PpdEntry>& entries()
{
    static const std::vector<PpdEntry> list = {
        {"everywhere", "IPP Everywhere", ""},
        {"driverless:ipp://10.0.0.5/ipp/print", "HP Color LaserJet CM3530 MFP, driverless", ""},
        {"drv:///sample.drv/generpcl.ppd", "Generic PCL Laser Printer", "CMD:PCL;"},
        {"lsb/usr/cupsfilters/HP-Color_LaserJet_CM3530_MFP-PDF.ppd", "HP Color LaserJet CM3530 MFP PDF",
         "MFG:Hewlett-Packard;CMD:PJL,PCLXL,PDF;MDL:HP Color LaserJet CM3530 MFP;CLS:PRINTER;"},
        {"lsb/usr/cupsfilters/Fuji_Xerox-DocuPrint_CM305_df-PDF.ppd", "Fuji Xerox DocuPrint CM305 df PDF",
         "MFG:FUJI XEROX;CMD:PJL,PCL;MDL:DocuPrint CM305 df;CLS:PRINTER;"},
        {"drv:///cupsfilters.drv/dsgnjt750cpcl.ppd", "HP DesignJet 750c pcl, 1.0", ""},
        {"drv:///cupsfilters.drv/dsgnjt750cpcl-long.ppd", "HP DesignJet 750c pcl with extras, 1.0", ""},
        {"drv:///sample.drv/epson9.ppd", "Epson 9-Pin Series", ""},
        {"brother-first.ppd", "Brother HL-L2350DW series", "MFG:Brother;MDL:HL-L2350DW series;"},
        {"brother-second.ppd", "Brother HL-L2350DW series CUPS", "MFG:Brother;MDL:HL-L2350DW series;"},
    };
    return list;
}

}  // namespace

TEST(PpdMatch, Table)
{
    const struct {
        const char* deviceId;
        const char* makeAndModel;
        const char* expected;
    } cases[] = {
        // 1284 id: manufacturer and model, HP and Hewlett-Packard alike, with or without the maker in MDL.
        {"MFG:HP;MDL:Color LaserJet CM3530 MFP;", "", "lsb/usr/cupsfilters/HP-Color_LaserJet_CM3530_MFP-PDF.ppd"},
        {"MANUFACTURER:Hewlett-Packard;MODEL:HP Color LaserJet CM3530 MFP;CMD:PCL;", "",
         "lsb/usr/cupsfilters/HP-Color_LaserJet_CM3530_MFP-PDF.ppd"},
        {"mfg:fuji xerox;mdl:docuprint cm305 DF;", "", "lsb/usr/cupsfilters/Fuji_Xerox-DocuPrint_CM305_df-PDF.ppd"},
        {"MFG:Brother;MDL:HL-L2350DW series;", "", "brother-first.ppd"},
        // The id wins over a make and model that says something else.
        {"MFG:FUJI XEROX;MDL:DocuPrint CM305 df;", "HP DesignJet 750c",
         "lsb/usr/cupsfilters/Fuji_Xerox-DocuPrint_CM305_df-PDF.ppd"},
        // Make and model: exact, or the shortest that starts with it as whole words.
        {"", "Epson 9-Pin Series", "drv:///sample.drv/epson9.ppd"},
        {"", "HP DesignJet 750c", "drv:///cupsfilters.drv/dsgnjt750cpcl.ppd"},
        {"", "Hewlett-Packard DesignJet 750c", "drv:///cupsfilters.drv/dsgnjt750cpcl.ppd"},
        {"", "Fuji Xerox DocuPrint CM305 df", "lsb/usr/cupsfilters/Fuji_Xerox-DocuPrint_CM305_df-PDF.ppd"},
        // An id without a matching PPD id falls back to its maker and model as a name.
        {"MFG:HP;MDL:DesignJet 750c;", "", "drv:///cupsfilters.drv/dsgnjt750cpcl.ppd"},
        // No partial words, no maker alone, nothing driverless.
        {"", "HP DesignJet 75", ""},
        {"", "HP", ""},
        {"", "IPP Everywhere", ""},
        {"MFG:Acme;MDL:Laser 100;", "Acme Laser 100", ""},
        {"", "", ""},
        {"MFG:;MDL:;", ";;;:::", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchPpd(entries(), QString::fromUtf8(c.deviceId), QString::fromUtf8(c.makeAndModel)),
                  QString::fromUtf8(c.expected))
            << c.deviceId << " / " << c.makeAndModel;
}

TEST(PpdMatch, NothingInstalledIsNoMatch)
{
    EXPECT_EQ(matchPpd({}, "MFG:HP;MDL:LaserJet 4;", "HP LaserJet 4"), QString());
}
