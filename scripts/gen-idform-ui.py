#!/usr/bin/env python3
"""Regenerates the ID pages of shell/TIDForm.ui, the status box's progress bar and
the window's tab order.

The ID tab control `PageControl` holds six vehicle pages and two trailer pages of
sixteen rows each: a number label showing the row's slot number and an ID box
Edit1..Edit128 (at most 16 characters). Writing 256 widgets by hand invites
mistakes, so this script owns that part of the file, and the progress bar below
the status box's two lines; the rest of the .ui is edited in Designer or by hand
and kept as it is.

    python3 scripts/gen-idform-ui.py [path/to/TIDForm.ui]

The result is deterministic; commit the regenerated .ui.
"""
import os
import sys
import xml.etree.ElementTree as ET

ROWS = 16
PAGES = [(f"VehiclesTab{p}", f"Vehicles {p}") for p in range(1, 7)] + [
    (f"TrailersTab{q}", f"Trailers {q}") for q in range(1, 3)
]
# Tab order of the window: the ID tab control first, then the upper one.
UPPER_TAB_ORDER = [
    "PageControl1",
    "GroupNameComboBox",
    "NewGroupButton",
    "DeleteGroupButton",
    "SaveButton",
    "ReadButton",
    "SendButton",
    "GroupFileButton",
    "CompanyNameEdit",
    "ReadNameButton",
    "SendNameButton",
]


def geometry(parent, x, y, w, h):
    prop = ET.SubElement(parent, "property", name="geometry")
    rect = ET.SubElement(prop, "rect")
    for tag, value in (("x", x), ("y", y), ("width", w), ("height", h)):
        ET.SubElement(rect, tag).text = str(value)


def string_property(parent, name, text):
    ET.SubElement(ET.SubElement(parent, "property", name=name), "string").text = text


def build_page(index, name, caption):
    page = ET.Element("widget", {"class": "QWidget", "name": name})
    ET.SubElement(ET.SubElement(page, "attribute", name="title"), "string").text = caption
    first_slot = 16 * index if index < 6 else 16 * (index - 6)
    for r in range(ROWS):
        k = 16 * index + r  # position in the slot table
        number = ET.SubElement(page, "widget", {"class": "QLabel", "name": f"NumberLabel{k + 1}"})
        geometry(number, 32, 12 + 24 * r, 20, 13)
        string_property(number, "text", str(first_slot + r))
        edit = ET.SubElement(page, "widget", {"class": "QLineEdit", "name": f"Edit{k + 1}"})
        geometry(edit, 56, 8 + 24 * r, 150, 21)
        ET.SubElement(ET.SubElement(edit, "property", name="maxLength"), "number").text = "16"
    return page


def build_progress_bar(status_box):
    """The commands answered during a transfer, below the status line (Label3 at 16, 16)
    and the instrument line (Label4 at 16, 36); hidden until a transfer counts."""
    for old in status_box.findall("widget[@name='ProgressBar1']"):
        status_box.remove(old)
    bar = ET.SubElement(status_box, "widget", {"class": "QProgressBar", "name": "ProgressBar1"})
    geometry(bar, 16, 53, 220, 15)
    ET.SubElement(ET.SubElement(bar, "property", name="visible"), "bool").text = "false"
    for name, value in (("maximum", 128), ("value", 0)):
        ET.SubElement(ET.SubElement(bar, "property", name=name), "number").text = str(value)
    string_property(bar, "format", "%v of %m")
    string_property(bar, "accessibleName", "Commands answered")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "shell", "TIDForm.ui")
    tree = ET.parse(path)
    root = tree.getroot()
    control = root.find(".//widget[@name='PageControl']")
    if control is None:
        sys.exit(f"{path}: no widget named PageControl")
    for page in control.findall("widget"):
        control.remove(page)
    for i, (name, caption) in enumerate(PAGES):
        control.append(build_page(i, name, caption))

    status_box = root.find(".//widget[@name='StatusBox']")
    if status_box is None:
        sys.exit(f"{path}: no widget named StatusBox")
    build_progress_bar(status_box)

    tabstops = root.find("tabstops")
    if tabstops is None:
        tabstops = ET.SubElement(root, "tabstops")
    tabstops.clear()
    for name in ["PageControl"] + [f"Edit{k}" for k in range(1, 129)] + UPPER_TAB_ORDER:
        ET.SubElement(tabstops, "tabstop").text = name

    ET.indent(tree, space=" ")
    tree.write(path, encoding="UTF-8", xml_declaration=True)
    with open(path, "a", encoding="UTF-8") as f:
        f.write("\n")


if __name__ == "__main__":
    main()
