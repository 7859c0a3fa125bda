#!/usr/bin/env python3
"""Writes files/events.txt and files/english.lan: Korvan's own catalogue of relay event codes.

Run once from this folder; both files are committed. Text identifiers that a relay's own tools use for
the same events keep their numbers, the rest are numbered from free ranges.
"""

lang = {}          # identifier -> text
by_text = {}       # text -> identifier, so that repeated event names share one identifier
next_id = [9001]


def text_id(text, fixed=None):
    if fixed is not None:
        ident = "TXT_%d" % fixed
    elif text in by_text:
        return by_text[text]
    else:
        while "TXT_%d" % next_id[0] in lang:
            next_id[0] += 1
        ident = "TXT_%d" % next_id[0]
        next_id[0] += 3  # the catalogue is not contiguous
    lang[ident] = text
    by_text.setdefault(text, ident)
    return ident


events = []  # (code, block, block id, event id, type, parameter)


def add(code, block, block_ident, event_text, kind="0", parameter="", event_fixed=None):
    events.append((code, block, block_ident, text_id(event_text, event_fixed), kind, parameter))


def on_off(code, block, names, kind="0", parameter=lambda i: ""):
    ident = text_id(block)
    for i, name in enumerate(names):
        add(code, block, ident, name + " On", kind, parameter(i))
        add(code + 1, block, ident, name + " Off", kind, parameter(i))
        code += 2
    return code


system = text_id("SYSTEM", 8046)
add(1, "SYSTEM", system, "Power on", "1", event_fixed=7848)
add(2, "SYSTEM", system, "RTC  change", "", event_fixed=7856)
for code, name in enumerate(["Setting group changed", "Setting changed", "Configuration changed",
                             "Time synchronisation lost", "Time synchronisation restored",
                             "Event buffer cleared", "Disturbance recorder cleared", "Local mode",
                             "Remote mode", "Off mode", "Test mode On", "Test mode Off",
                             "Password accepted", "Password rejected", "Reset by user"], start=3):
    add(code, "SYSTEM", system, name, "1")

diag = text_id("DIAGNOSTICS")
for code, name in enumerate(["Watchdog reset", "Internal supply fault", "Analog input fault",
                             "Binary input card fault", "Binary output card fault", "RAM fault",
                             "Flash fault", "Communication card fault", "Temperature high",
                             "Temperature normal", "SNTP server lost", "SNTP server restored"], start=64):
    add(code, "DIAGNOSTICS", diag, name, "1")
on_off(100, "IRF", ["Internal relay fault", "Warning"], "1")

logic1 = text_id("LOGIC1", 7618)
add(512, "LOGIC1", logic1, "Logical Out1 On", event_fixed=7707, parameter="LOGIC_OUT1TXT_1")
add(513, "LOGIC1", logic1, "Logical Out1 Off", parameter="LOGIC_OUT1TXT_1")
code = 514
for out in range(2, 9):
    add(code, "LOGIC1", logic1, "Logical Out%d On" % out, parameter="LOGIC_OUT%dTXT_1" % out)
    add(code + 1, "LOGIC1", logic1, "Logical Out%d Off" % out, parameter="LOGIC_OUT%dTXT_1" % out)
    code += 2
for n in range(2, 5):
    on_off(512 + 32 * (n - 1), "LOGIC%d" % n, ["Logical Out%d" % o for o in range(1, 9)],
           parameter=lambda i: "LOGIC_OUT%dTXT_1" % (i + 1))
for n in range(1, 5):
    on_off(1024 + 64 * (n - 1), "GOOSE%d" % n, ["GOOSE In%d" % i for i in range(1, 9)],
           parameter=lambda i: "GOOSE_IN%dTXT_1" % (i + 1))
for n in range(1, 6):
    block = "OBJ%d" % n
    ident = text_id(block)
    base = 2048 + 16 * (n - 1)
    for offset, name in enumerate(["Open", "Close", "Intermediate", "Faulty", "Select open",
                                   "Select close", "Cancel", "Operation timeout", "Interlocked"]):
        add(base + offset, block, ident, name)
protection = [("PHLPTOC1", 2560), ("PHHPTOC1", 2600), ("PHIPTOC1", 2640), ("EFLPTOC1", 2680),
              ("EFHPTOC1", 2720), ("NSPTOC1", 2760), ("T1PTTR1", 2800), ("PHPTOV1", 2840),
              ("PHPTUV1", 2880), ("FRPFRQ1", 2920), ("CCBRBRF1", 2960), ("TRPPTRC1", 3000)]
for block, base in protection:
    on_off(base, block, ["Start", "Operate", "Block", "Start phase A", "Start phase B", "Start phase C"])
on_off(3200, "DARREC1", ["Auto-reclose in progress", "Close command", "Lockout", "Unsuccessful"])
events.append(next(e for e in events if e[0] == 3200))  # the catalogue lists 3200 twice, same content
on_off(4096, "DFRPTRG1", ["Recording triggered", "Memory full"])
on_off(6144, "SSCBR1", ["Open alarm", "Close alarm", "Spring charge alarm", "Wear alarm"])
for n in range(1, 3):
    on_off(8192 + 32 * (n - 1), "SPCGAPC%d" % n, ["Output %d" % o for o in range(1, 9)])
on_off(10240, "MAPGAPC1", ["Δf/Δt start", "Δf/Δt operate", "Ω limit exceeded"])
cnu = text_id("CNU1", 20559)
for code, name in zip(range(13318, 13325), ["Start On", "Start Off", "Operate On", "Operate Off",
                                            "Alarm On", "Alarm Off",
                                            "Compensating natural unbalance On"]):
    add(code, "CNU1", cnu, name)
add(13325, "CNU1", cnu, "Compensating natural unbalance Off", event_fixed=20575)

# Texts the relay's setting tools use beside the event names: enumerations and units.
for text in ["0=Yes; 1=No", "1=On; 5=Off", "0=Disabled; 1=Enabled; 2=Blocked",
             "1=Local; 2=Remote; 3=Local and remote", "Phase angle φ", "Resistance Ω",
             "Frequency gradient Δf/Δt", "Operate delay time", "Start value", "Reset delay time"]:
    text_id(text)

with open("files/english.lan", "w", encoding="utf-8", newline="") as f:
    f.write("# Korvan relay texts, English\r\n# Version\t1.0.3\r\n#\r\n")
    for ident in sorted(lang, key=lambda i: int(i[4:])):
        f.write("%s\t%s\r\n" % (ident, lang[ident]))

with open("files/events.txt", "w", encoding="ascii", newline="") as f:
    f.write("# Generated 2026-12-07 08:00:00\r\n")
    f.write("# event_code|event_block|block_desc_id|event_desc_id|type|event_desc_parameter\r\n")
    for row in events:
        f.write("|".join(str(v) for v in row) + "\r\n")
