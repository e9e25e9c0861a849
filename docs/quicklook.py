#!/usr/bin/python3
"""Quick-look picture of a streamflow KML document.

Draws the value placemarks of a document written by flowglobe or
flowglobe_max in the colours of their styles, optionally over the channel
network of a flowglobe_drv1 document (grey) and with the gauges of a
gaugeglobe document (black triangles), and saves the picture as PNG.  The
legend gives, for every colour, the smallest and largest streamflow written
with it and the number of points, all read from the document itself.

    quicklook.py FLOW_KML OUT_PNG [--network NODES_KML] [--gauges GAUGES_KML]
                 [--title TEXT]

Needs Debian's python3-matplotlib.  Exits with status 1 and a message when a
document cannot be read.
"""
import argparse
import math
import re
import sys
import xml.etree.ElementTree as ET

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the back-end choice)

STREAMFLOW = re.compile(r"streamflow=\s*(\S+)")


def kml_colour(abgr):
    """A KML colour (alpha, blue, green, red in hex) as a matplotlib RGBA."""
    a, b, g, r = (int(abgr[i:i + 2], 16) / 255 for i in range(0, 8, 2))
    return (r, g, b, a)


def read_document(path):
    """The style colours and the placemarks (lon, lat, style, value, name)."""
    root = ET.parse(path).getroot()
    colours = {}
    for style in root.iterfind(".//{*}Style"):
        colour = style.find(".//{*}color")
        if colour is not None and colour.text:
            colours[style.get("id")] = kml_colour(colour.text.strip())
    marks = []
    for mark in root.iterfind(".//{*}Placemark"):
        coordinates = mark.find(".//{*}coordinates")
        if coordinates is None or not coordinates.text:
            continue
        lon, lat = (float(v) for v in coordinates.text.split(",")[:2])
        style = mark.findtext("{*}styleUrl", default="").strip().lstrip("#")
        found = STREAMFLOW.search(mark.findtext("{*}description", default=""))
        value = float(found.group(1)) if found else None
        name = mark.findtext("{*}name", default="").strip()
        marks.append((lon, lat, style, value, name))
    return colours, marks


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("flow_kml")
    parser.add_argument("out_png")
    parser.add_argument("--network", help="flowglobe_drv1 document drawn in grey beneath")
    parser.add_argument("--gauges", help="gaugeglobe document of the gauges")
    parser.add_argument("--title", default="Channel points by streamflow class")
    args = parser.parse_args()

    try:
        colours, marks = read_document(args.flow_kml)
        network = read_document(args.network)[1] if args.network else []
        gauges = read_document(args.gauges)[1] if args.gauges else []
    except (OSError, ET.ParseError, ValueError) as error:
        print(f"quicklook: {error}", file=sys.stderr)
        return 1

    values = [m for m in marks if m[3] is not None and m[2] in colours]
    everything = values + network + gauges
    if not everything:
        print(f"quicklook: {args.flow_kml} holds no placemark", file=sys.stderr)
        return 1

    fig, ax = plt.subplots(figsize=(10, 5.6), dpi=100)
    if network:
        ax.scatter([m[0] for m in network], [m[1] for m in network], s=2, c="0.8",
                   linewidths=0, label=f"channel network ({len(network)} nodes)", zorder=1)
    # One scatter per colour, in increasing order of the values it holds.
    by_style = {}
    for m in values:
        by_style.setdefault(m[2], []).append(m)
    for style, group in sorted(by_style.items(), key=lambda item: min(m[3] for m in item[1])):
        low, high = min(m[3] for m in group), max(m[3] for m in group)
        ax.scatter([m[0] for m in group], [m[1] for m in group], s=14, color=colours[style],
                   edgecolors="0.3", linewidths=0.3, zorder=2,
                   label=f"{style}: {low:.1f} to {high:.1f} m\u00b3/s ({len(group)})")
    if gauges:
        ax.scatter([m[0] for m in gauges], [m[1] for m in gauges], s=40, marker="^", c="black",
                   label=f"gauges ({len(gauges)})", zorder=3)
        for lon, lat, _, _, name in gauges:
            ax.annotate(name, (lon, lat), xytext=(4, 4), textcoords="offset points", fontsize=7)

    # Degrees of longitude shrink with the cosine of the latitude.
    mid_lat = sum(m[1] for m in everything) / len(everything)
    ax.set_aspect(1 / max(math.cos(math.radians(mid_lat)), 0.1))
    ax.set_xlabel("longitude (degrees)")
    ax.set_ylabel("latitude (degrees)")
    ax.set_title(args.title)
    ax.grid(True, color="0.9", linewidth=0.5)
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1), fontsize=8, frameon=False)
    fig.tight_layout()
    fig.savefig(args.out_png, metadata={"Software": None})
    return 0


if __name__ == "__main__":
    sys.exit(main())
