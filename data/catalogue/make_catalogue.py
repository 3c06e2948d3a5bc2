#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Generates catalogue.txt, the source text of database.dat, from the chip fact
tables (spi-nor-flash.tsv, spi-nor-second-id-only.tsv, eeprom.tsv).

Run once by hand when the fact tables change; the generated text is committed
and the build never runs this script:

    data/catalogue/make_catalogue.py [FACT_TABLE_DIR] > data/catalogue/catalogue.txt

FACT_TABLE_DIR defaults to ../shared/data beside the repository. The output
uses CR LF line ends, as the reader expects. Field rules: docs/catalogue.md.
"""

import collections
import csv
import os
import sys

MAX_RECORDS = 1100
MAX_DEVICES_PER_MAKER = 134
MAX_FIELD = 31

TYPE_FLASH = "25 SPI FLASH"
TYPE_I2C = "24 EEPROM"
TYPE_SPI_EEPROM = "25 EEPROM"
TYPE_MICROWIRE = "93 EEPROM"
TYPE_SPD = "34 SPD EEPROM"
TYPE_MICROWIRE_ROTATED = "93 EEPROM (ROTATED)"

# Makers whose names the quad-enable rule looks for keep those names.
FLASH_MAKER_NAMES = {
    "Macronix": "MX",
    "Winbond": "WINBOND",
    "GigaDevice": "GIGADEVICE",
}
# The makers users look for first; the rest follow alphabetically.
FLASH_MAKER_ORDER = ["WINBOND", "GIGADEVICE", "MX", "EON", "ISSI", "SPANSION/CYPRESS",
                     "MICRON", "MICRON/ST", "ATMEL/ADESTO", "SST", "XMC", "XTX", "BOYA",
                     "PUYA", "ZBIT", "FUDAN", "ESMT", "AMIC", "PMC"]

EEPROM_MAKER_NAMES = {
    "Generic": "GENERIC",
    "Atmel/Microchip": "ATMEL",
    "Microchip": "MICROCHIP",
    "ON Semi": "ON SEMI",
}
EEPROM_MAKER_ORDER = ["GENERIC", "ATMEL", "MICROCHIP", "ST", "ON SEMI", "ISSI", "GIANTEC"]

# Operation parameter of SPI flash: high digit = address mode (0 three address
# bytes, 1 four), low digit = write method or quirk.
FLASH_BYTE_PROGRAM = 1
FLASH_AAI_PROGRAM = 2
FLASH_GLOBAL_UNLOCK = 3
FLASH_DIE_SELECT = 4
# Write methods as spi-nor-second-id-only.tsv names them.
FLASH_WRITE_METHODS = {"page": 0, "byte": FLASH_BYTE_PROGRAM, "AAI word": FLASH_AAI_PROGRAM}

# Parts without RDID answer probe 1 with FFFFFF; a main ID of FFFFFF is never
# looked up, so they are found by their second ID alone.
NO_MAIN_ID = "FFFFFF"
# Vendors the second-ID table spells differently from the main table.
SECOND_ID_VENDORS = {"Zetta Device": "Zetta"}
# A part that also has an RDID record gets the name of the read that finds
# it, as the fact table names SST25VF040B.REMS.
SECOND_ID_SUFFIXES = {"REMS 90h": ".REMS", "RES ABh, 2 bytes": ".RES"}

# Parts that answer more than one RDID: one more record per further ID, its
# name carrying that ID so that both records can be selected.
EXTRA_MAIN_IDS = [
    ("Zbit", "ZB25VQ16", "5E4015"),
]

# SPD EEPROMs answer on the further SCL/SDA socket (bus 4). Not in the fact
# tables; entered from the makers' datasheets: 256 bytes, 16-byte pages.
SPD_PARTS = [
    ("GENERIC", "34C02"),
    ("MICROCHIP", "34AA02"),
    ("MICROCHIP", "34LC02"),
    ("ST", "M34E02"),
    ("ON SEMI", "CAT34C02"),
]


def capacity_text(size):
    for unit, factor in (("G", 1 << 30), ("M", 1 << 20), ("K", 1 << 10)):
        if size % factor == 0:
            return "%d%sB" % (size // factor, unit)
    return "%dB" % size


def word_capacity_text(size):
    words = size // 2
    if words % 1024 == 0:
        return "%dK*16bit" % (words // 1024)
    return "%d*16bit" % words


def maker_name(vendor, names):
    return names.get(vendor, vendor.upper())


def order_key(order):
    def key(name):
        base, low_voltage = (name[:-5], 1) if name.endswith(" 1.8V") else (name, 0)
        if base in order:
            return (order.index(base), "", low_voltage)
        return (len(order), base, low_voltage)
    return key


def flash_quirk(row, size):
    mode = 1 if size > 16 << 20 else 0
    quirk = 0
    notes = row["notes"]
    if "write" in row:
        quirk = FLASH_WRITE_METHODS[row["write"]]
    elif "AAI" in notes:
        quirk = FLASH_AAI_PROGRAM
    elif "byte program only" in notes:
        quirk = FLASH_BYTE_PROGRAM
    elif "global unlock 98h" in notes:
        quirk = FLASH_GLOBAL_UNLOCK
    elif "die select C2h" in notes:
        quirk = FLASH_DIE_SELECT
    return "0%d%d" % (mode, quirk)


def mx_quad_enable(name, size):
    """The quad-enable rule for MX chips, so that merged names keep it."""
    if size < 256 << 10:
        return False
    at = 7 if size <= 8 << 20 else 8
    return len(name) >= at + 2 and name[at] in "3456"


def merged_name(names):
    """One device name for parts that differ only in name.

    "MX25L6436E/F" for names that differ at the end, "EN25Q80(A/B)" for a
    name and its extensions, otherwise the full names joined by "/".
    """
    if len(names) == 1:
        return names[0]
    base = names[0]
    rest = names[1:]
    if all(n.startswith(base) for n in rest):
        return base + "(" + "/".join(n[len(base):] for n in rest) + ")"
    prefix = os.path.commonprefix(names)
    if prefix and all(len(n) == len(base) for n in names):
        return base + "".join("/" + n[len(prefix):] for n in rest)
    return "/".join(names)


def with_sst_twins(rows):
    """PCT25VF parts are SST25VF dies under another name: they answer REMS and
    take data as the SST part with the same RDID does."""
    sst = collections.defaultdict(list)
    for r in rows:
        if r["vendor"] == "SST":
            sst[r["jedec_id"]].append(r)
    result = []
    for r in rows:
        if r["vendor"] == "PCT" and "SST25VF-compatible" in r["notes"]:
            twins = sst[r["jedec_id"]]
            if len(twins) != 1:
                raise SystemExit("%s: %d SST parts with ID %s" % (r["part"], len(twins),
                                                                   r["jedec_id"]))
            twin = twins[0]
            r = dict(r, rems_id=twin["rems_id"], notes=twin["notes"])
        result.append(r)
    return result


def with_extra_main_ids(rows):
    result = list(rows)
    for vendor, part, jedec in EXTRA_MAIN_IDS:
        found = [r for r in rows if r["vendor"] == vendor and r["part"] == part]
        if len(found) != 1:
            raise SystemExit("%s %s: %d rows" % (vendor, part, len(found)))
        result.append(dict(found[0], part="%s(%s)" % (part, jedec), jedec_id=jedec))
    return result


def supply_class(vcc):
    """3.3V or 1.8V from a range such as 1.65-1.95V."""
    highest = float(vcc.rstrip("V").split("-")[-1])
    return "1.8V" if highest <= 2.0 else "3.3V"


def second_id_only_rows(rows, flash):
    """Rows of spi-nor-second-id-only.tsv in the form of the main table."""
    rdid_parts = {(r["vendor"], r["part"].upper()) for r in flash}
    result = []
    for r in rows:
        vendor = SECOND_ID_VENDORS.get(r["vendor"], r["vendor"])
        part = r["part"].upper()
        if (vendor, part) in rdid_parts:
            part += SECOND_ID_SUFFIXES[r["answers"]]
        if r["write"] not in FLASH_WRITE_METHODS:
            raise SystemExit("%s: unknown write method %r" % (part, r["write"]))
        result.append({
            "vendor": vendor,
            "part": part,
            "jedec_id": NO_MAIN_ID,
            "rems_id": r["second_id"],
            "size_bytes": r["size_bytes"],
            "page_size": r["page_size"],
            "min_erase_bytes": r["min_erase_bytes"],
            "voltage": supply_class(r["vcc"]),
            "notes": "",
            "write": r["write"],
        })
    return result


def flash_records(rows):
    """Groups parts with identical facts into records; returns
    {maker: [(size, name, fields)]}."""
    groups = collections.OrderedDict()
    for r in rows:
        size = int(r["size_bytes"])
        key = (r["vendor"], r["jedec_id"], r["rems_id"], size, r["page_size"],
               r["min_erase_bytes"], r["voltage"], flash_quirk(r, size))
        groups.setdefault(key, []).append(r["part"])

    makers = collections.defaultdict(list)
    for key, parts in groups.items():
        vendor, jedec, rems, size, page, erase, voltage, op = key
        maker = maker_name(vendor, FLASH_MAKER_NAMES)
        # 1.8 V parts need the adapter: a group of their own after the maker's
        # 3.3 V group. The name still contains the maker's.
        if voltage == "1.8V":
            maker += " 1.8V"
        parts = sorted(parts, key=lambda p: (len(p), p))
        clusters = []
        for part in parts:
            for cluster in clusters:
                base = cluster[0]
                extends = part.startswith(base)
                sibling = (len(part) == len(base) and
                           os.path.commonprefix([part, base]) == base[:-1])
                candidate = merged_name(cluster + [part])
                same_qe = (maker != "MX" or
                           mx_quad_enable(candidate, size) == mx_quad_enable(part, size) ==
                           mx_quad_enable(base, size))
                if (extends or sibling) and same_qe and len(candidate) <= MAX_FIELD:
                    cluster.append(part)
                    break
            else:
                clusters.append([part])
        erase = int(erase)
        sector = "N" if erase < 1024 else str(erase // 1024)
        fields = {
            "pageSize": page,
            "sectorSize": sector,
            "capacity": capacity_text(size),
            "mainAddress": "N",
            "secondaryAddress": "400" if size > 16 << 20 else "300",
            "mainId": jedec.upper(),
            "secondaryId": rems.upper() if rems else "000000",
            "voltage": voltage,
            "operationType": op,
        }
        for cluster in clusters:
            makers[maker].append((size, merged_name(cluster), fields))
    return makers


def i2c_secondary(row):
    word_bytes = 2 if "2 word-address bytes" in row["notes"] else 1
    block_bits = max(0, int(row["addr_bits"]) - 8 * word_bytes)
    if "control-byte bit 3" in row["notes"]:
        # Block select in device-address bit 3 instead of bit 1: high digit 2.
        return "%d2%d" % (word_bytes, block_bits)
    return "%d%02d" % (word_bytes, block_bits)


def spi_eeprom_secondary(row):
    notes = row["notes"]
    address_bytes = int(notes.split(" address byte")[0].split()[-1])
    return "%d%02d" % (address_bytes, 1 if "A8 in instruction" in notes else 0)


def eeprom_records(rows):
    """Returns {type: {maker: [(size, name, fields)]}}."""
    types = collections.defaultdict(lambda: collections.defaultdict(list))
    microwire_names = collections.Counter()
    for r in rows:
        if r["family"] == "93":
            microwire_names[(r["vendor"], r["part"])] += 1

    for r in rows:
        family = r["family"]
        maker = maker_name(r["vendor"], EEPROM_MAKER_NAMES)
        size = int(r["size_bytes"])
        name = r["part"]
        common = {"sectorSize": "N", "mainId": "000000", "secondaryId": "000000",
                  "voltage": "5"}
        if family == "24":
            fields = dict(common, pageSize=r["page_size"], capacity=capacity_text(size),
                          mainAddress="A0", secondaryAddress=i2c_secondary(r),
                          operationType="100")
            types[TYPE_I2C][maker].append((size, name, fields))
        elif family in ("25", "95"):
            fields = dict(common, pageSize=r["page_size"], capacity=capacity_text(size),
                          mainAddress="N", secondaryAddress=spi_eeprom_secondary(r),
                          operationType="200")
            types[TYPE_SPI_EEPROM][maker].append((size, name, fields))
        elif family == "93":
            x16 = r["org"] == "16"
            # Microwire has no page write: one word of the organisation.
            fields = dict(common, pageSize="1",
                          capacity=word_capacity_text(size) if x16 else capacity_text(size),
                          mainAddress="N", secondaryAddress="%03d" % int(r["addr_bits"]),
                          operationType="310" if x16 else "300")
            if microwire_names[(r["vendor"], name)] > 1:
                name += "(x16)" if x16 else "(x8)"
            types[TYPE_MICROWIRE][maker].append((size, name, fields))
            # Microchip sells each of these with a rotated pin-out, suffix X.
            if maker == "MICROCHIP":
                base, _, org = name.partition("(")
                rotated = base + "X" + ("(" + org if org else "")
                rotated_fields = dict(fields, operationType=fields["operationType"][:2] + "1")
                types[TYPE_MICROWIRE_ROTATED][maker].append((size, rotated, rotated_fields))
        else:
            raise SystemExit("unknown EEPROM family %r" % family)

    for maker, name in SPD_PARTS:
        fields = {"pageSize": "16", "sectorSize": "N", "capacity": "256B", "mainAddress": "A0",
                  "secondaryAddress": "100", "mainId": "000000", "secondaryId": "000000",
                  "voltage": "3.3V", "operationType": "400"}
        types[TYPE_SPD][maker].append((256, name, fields))
    return types


def chip_line(name, f):
    return "@" + ":".join([name, f["pageSize"], f["sectorSize"], f["capacity"],
                           f["mainAddress"], f["secondaryAddress"], f["mainId"],
                           f["secondaryId"], f["voltage"], f["operationType"]])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "..", "..", "shared", "data")
    with open(os.path.join(source, "spi-nor-flash.tsv"), newline="") as f:
        flash = list(csv.DictReader(f, delimiter="\t"))
    with open(os.path.join(source, "spi-nor-second-id-only.tsv"), newline="") as f:
        second_id_only = list(csv.DictReader(f, delimiter="\t"))
    with open(os.path.join(source, "eeprom.tsv"), newline="") as f:
        eeprom = list(csv.DictReader(f, delimiter="\t"))

    catalogue = collections.OrderedDict()
    catalogue[TYPE_FLASH] = flash_records(
        with_extra_main_ids(with_sst_twins(flash)) + second_id_only_rows(second_id_only, flash))
    eeproms = eeprom_records(eeprom)
    for type_name in (TYPE_I2C, TYPE_SPI_EEPROM, TYPE_MICROWIRE, TYPE_SPD,
                      TYPE_MICROWIRE_ROTATED):
        catalogue[type_name] = eeproms[type_name]

    lines = []
    records = 0
    for type_name, makers in catalogue.items():
        lines.append("$" + type_name)
        order = FLASH_MAKER_ORDER if type_name == TYPE_FLASH else EEPROM_MAKER_ORDER
        for maker in sorted(makers, key=order_key(order)):
            chips = makers[maker]
            if type_name == TYPE_FLASH:
                chips = sorted(chips, key=lambda c: (c[0], c[1]))
            if len(chips) > MAX_DEVICES_PER_MAKER:
                raise SystemExit("%s has %d chips of type %s" % (maker, len(chips), type_name))
            lines.append("#" + maker + ":")
            names = [name for _, name, _ in chips]
            if len(set(names)) != len(names):
                raise SystemExit("%s of type %s repeats a device name" % (maker, type_name))
            for size, name, fields in chips:
                if len(name) > MAX_FIELD:
                    raise SystemExit("device name too long: " + name)
                lines.append(chip_line(name, fields))
                records += 1
    if records > MAX_RECORDS:
        raise SystemExit("%d records; at most %d fit" % (records, MAX_RECORDS))
    sys.stdout.buffer.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
    print("%d records" % records, file=sys.stderr)


if __name__ == "__main__":
    main()
