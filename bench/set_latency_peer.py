#!/usr/bin/python3
"""A persistent script with Debian's python3-gphoto2, as users write one: the camera is opened
once; per change the widget is read, given the new value and written (set_single_config), then
read back until the new value shows. Prints one sample in milliseconds per line: from before
the first read to the read-back that shows the value.

Run with Debian's /usr/bin/python3 (where python3-gphoto2 installs its module), with CAMLIBS,
IOLIBS and CAMSIM_STATE_DIR pointing at the simulator."""
import argparse
import sys
import time

import gphoto2 as gp


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--widget", required=True)
    parser.add_argument("--values", required=True, help="comma-separated, used in turn")
    parser.add_argument("--changes", type=int, default=100)
    parser.add_argument("--timeout", type=float, default=10.0, help="seconds for one read-back")
    args = parser.parse_args()
    values = args.values.split(",")

    camera = gp.Camera()
    camera.init()
    try:
        for i in range(args.changes):
            value = values[i % len(values)]
            start = time.monotonic()
            widget = camera.get_single_config(args.widget)
            widget.set_value(value)
            camera.set_single_config(args.widget, widget)
            while camera.get_single_config(args.widget).get_value() != value:
                if time.monotonic() - start > args.timeout:
                    print(f"set_latency_peer: {args.widget} never showed {value}", file=sys.stderr)
                    return 1
            print(f"{(time.monotonic() - start) * 1000:.3f}", flush=True)
    finally:
        camera.exit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
