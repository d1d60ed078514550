#!/usr/bin/env python3
"""Lists or runs the end-to-end scenarios of tests/scenarios/.

  run_scenarios.py --list --host posix|windows
  run_scenarios.py --program PATH --host posix|windows [--wine WINE] [--wrapper CMD] NAME...
"""

import argparse
import importlib
import os
import pkgutil
import shlex
import sys
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import scenario_harness  # noqa: E402
import scenarios  # noqa: E402


def load_all():
    for module in pkgutil.iter_modules(scenarios.__path__):
        importlib.import_module(f"scenarios.{module.name}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--program")
    parser.add_argument("--host", choices=("posix", "windows"), required=True)
    parser.add_argument("--wine")
    parser.add_argument("--wrapper", default="",
                        help="a command the tool runs under, such as a memory checker")
    parser.add_argument("--skip-heavy", action="store_true")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    load_all()

    chosen = {name: f for name, (f, hosts) in sorted(scenario_harness.SCENARIOS.items())
              if options.host in hosts
              and not (options.skip_heavy and name in scenario_harness.HEAVY)
              and not (options.wrapper and name in scenario_harness.CLOSES_HANDLES)}
    if options.list:
        print(";".join(chosen), end="")
        return 0

    failures = 0
    for name in options.names or chosen:
        context = scenario_harness.Scenario(os.path.abspath(options.program), options.host,
                                            options.wine, shlex.split(options.wrapper))
        try:
            chosen[name](context)
            print(f"ok {name}")
        except Exception:  # a scenario's failure of any kind fails it
            context.failed = True
            failures += 1
            print(f"FAILED {name}")
            traceback.print_exc(file=sys.stdout)
        finally:
            context.cleanup()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
