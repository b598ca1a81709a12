"""python3 -m tressel report TABLE [--out DIR]
python3 -m tressel export TABLE --format dlc|dlc-h5|sleap-h5|npz --out FILE

Exit status: 0 done, 1 a file could not be read or written, 2 bad usage."""

import argparse
import os
import sys

from . import formats


def main(argv=None):
    # `tressel report` runs this module under the tool's own name.
    prog = os.environ.get("TRESSEL_COMMAND", "python3 -m tressel")
    parser = argparse.ArgumentParser(prog=prog, description="Reports and formats of a table "
                                     "that `tressel track` wrote.")
    commands = parser.add_subparsers(dest="command", required=True)
    report = commands.add_parser("report", help="a folder with report.html and its pictures")
    report.add_argument("table")
    report.add_argument("--out", help="the folder (default: TABLE.report)")
    export = commands.add_parser("export", help="the table in a layout of pose-estimation tools")
    export.add_argument("table")
    export.add_argument("--format", required=True, choices=sorted(formats.FORMATS))
    export.add_argument("--out", required=True)
    args = parser.parse_args(argv)

    try:
        if args.command == "report":
            from . import report as report_module
            folder = report_module.write_report(args.table, args.out)
            print(folder + "/report.html")
        else:
            if os.path.exists(args.out) and os.path.samefile(args.out, args.table):
                raise formats.TableError("%s: is the table itself; give another --out" % args.out)
            formats.FORMATS[args.format](formats.read_table(args.table), args.out)
    except formats.TableError as e:
        print("tressel: %s" % e, file=sys.stderr)
        return 1
    except ImportError as e:
        print("tressel: %s (Debian's python3-pandas, python3-tables, python3-h5py and python3-matplotlib "
              "are needed)" % str(e).splitlines()[0], file=sys.stderr)
        return 1
    except OSError as e:
        print("tressel: %s: %s" % (e.filename or args.out, e.strerror or e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
