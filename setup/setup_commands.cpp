#include "setup/setup_commands.h"

#include <stddef.h>

#include "setup/setup_text.h"

const char16_t SETUP_TEXT_LIBRARY_CANT_LOAD[] = u"The library can't load.";
const char16_t SETUP_TEXT_LIBRARY_INVALID[] = u"The library invalid.";

namespace {

// Success with this code means the system must restart before the driver works.
const uint32_t SETUP_CODE_REBOOT_REQUIRED = 11;

struct SetupCommandWord {
    const char16_t* Word;
    int Compared;
    SetupCommand Command;
};

// Order matters: "install-quiet" would otherwise select "install".
const SetupCommandWord SETUP_COMMAND_WORDS[] = {
    {u"install-quiet", 13, SETUP_COMMAND_INSTALL_QUIET},
    {u"install", 7, SETUP_COMMAND_INSTALL},
    {u"uninstall", 9, SETUP_COMMAND_UNINSTALL},
    {u"detect", 4, SETUP_COMMAND_DETECT},
};

char16_t FoldCase(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

bool MatchesLeading(const char16_t* commandLine, const char16_t* word, int compared) {
    for (int i = 0; i < compared; ++i) {
        // A command line shorter than the compared length stops at its terminator, which matches nothing.
        if (FoldCase(commandLine[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

struct SetupDriver {
    uint32_t Kind;
    const char16_t* DisplayName;
    const char16_t* FirstInf;
    const char16_t* SecondInf;
    const char16_t* DriverFile;
    const char16_t* InstallName;
    const char16_t* Identifier;
    const char16_t* DetectName;
    const char16_t* UninstallFormat;
    const char16_t* DetectFormat;
};

const SetupDriver SETUP_PROTECTOR = {
    0,
    u"Zelk protector",
    u"ZELKARP.inf",
    u"ZELKARP_m.inf",
    u"ZELKARP.sys",
    u"ZELKARP",
    u"ZELK_ARP",
    u"ZELKARP",
    u"The protector driver uninstall %ws.\n",
    u"The protector driver: %wsfound.\n",
};
const SetupDriver SETUP_PROTOCOL = {
    1,
    u"Zelk protocol",
    u"ZELKProt.inf",
    nullptr,
    u"ZELKProt.sys",
    u"ZELKProt",
    u"ZELK_PROT",
    u"ZELKPROT",
    u"The protocol driver uninstall %ws.\n",
    u"The protocol driver: %wsfound.\n",
};

// Removal and detection take the protector first.
const SetupDriver* const SETUP_DRIVERS[] = {&SETUP_PROTECTOR, &SETUP_PROTOCOL};

uint32_t Uninstall(const SetupLibrary& library, const SetupDriver& driver) {
    return library.UninstallComponent(driver.Identifier, driver.DriverFile, nullptr);
}

void InstallDriverWithReport(const SetupLibrary& library, const SetupOutput& output,
                             const SetupDriver& driver) {
    uint32_t code = 0;
    const uint32_t result =
        library.InstallComponent(driver.Kind, nullptr, nullptr, driver.FirstInf, driver.SecondInf,
                                 driver.DriverFile, driver.InstallName, &code);
    if (result != 0) {
        SetupDebugReport(output, u"The %ws driver install failed, error code = %d.\n", driver.DisplayName,
                         static_cast<int32_t>(code));
    } else if (code == SETUP_CODE_REBOOT_REQUIRED) {
        SetupDebugReport(output, u"The %ws driver install successful, but reboot required.\n",
                         driver.DisplayName);
    } else {
        SetupDebugReport(output, u"The %ws driver install successful.\n", driver.DisplayName);
    }
}

void RunInstall(const SetupLibrary& library, const SetupOutput& output) {
    // Whatever was there goes first, so that an installation always starts from a clean state.
    Uninstall(library, SETUP_PROTECTOR);
    Uninstall(library, SETUP_PROTOCOL);
    SetupDebugReport(output, u"Install the Zelk drivers.");
    InstallDriverWithReport(library, output, SETUP_PROTECTOR);
    InstallDriverWithReport(library, output, SETUP_PROTOCOL);
    SetupDebugReport(output, u"Install finish.");
}

void RunUninstall(const SetupLibrary& library, const SetupOutput& output) {
    SetupDebugReport(output, u"Uninstall the Zelk drivers.");
    for (const SetupDriver* driver : SETUP_DRIVERS) {
        const uint32_t result = Uninstall(library, *driver);
        SetupDebugReport(output, driver->UninstallFormat, result != 0 ? u"failed" : u"successful");
    }
    SetupDebugReport(output, u"Uninstall finish.");
}

void RunDetect(const SetupLibrary& library, const SetupOutput& output) {
    for (const SetupDriver* driver : SETUP_DRIVERS) {
        const bool present = (library.DetectDriver(driver->DetectName) & 0xFF) == 1;
        SetupDebugReport(output, driver->DetectFormat, present ? u"" : u"not ");
    }
}

} // namespace

SetupCommand SetupParseCommand(const char16_t* commandLine) {
    if (commandLine == nullptr) {
        return SETUP_COMMAND_NONE;
    }
    for (const SetupCommandWord& word : SETUP_COMMAND_WORDS) {
        if (MatchesLeading(commandLine, word.Word, word.Compared)) {
            return word.Command;
        }
    }
    return SETUP_COMMAND_NONE;
}

void SetupDebugReport(const SetupOutput& output, const char16_t* format, const char16_t* text,
                      int32_t number) {
    char16_t message[SETUP_MESSAGE_UNITS];
    char16_t line[SETUP_MESSAGE_UNITS];
    const SetupFormatValue values[] = {{text, 0}, {nullptr, number}};
    SetupFormat(message, SETUP_MESSAGE_UNITS, format, values, 2);
    SetupReportLine(line, message);
    output.WriteLine(output.Context, line);
}

void SetupRunCommand(SetupCommand command, const SetupLibrary& library, const SetupOutput& output) {
    switch (command) {
    case SETUP_COMMAND_INSTALL:
        RunInstall(library, output);
        break;
    case SETUP_COMMAND_UNINSTALL:
        RunUninstall(library, output);
        break;
    case SETUP_COMMAND_DETECT:
        RunDetect(library, output);
        break;
    case SETUP_COMMAND_NONE:
    case SETUP_COMMAND_INSTALL_QUIET:
        break;
    }
}
