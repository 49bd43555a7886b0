#!/usr/bin/env python3
"""Builds the weekly sales report and mails it to the team."""

import argparse
import csv
import logging
import os
from dataclasses import dataclass, field
from datetime import date, timedelta
from pathlib import Path

log = logging.getLogger(__name__)
DEBUG = os.environ.get("REPORT_DEBUG") == "1"


@dataclass
class Sale:
    product: str
    amount: float
    day: date
    tags: list[str] = field(default_factory=list)


class ReportError(Exception):
    pass


def load_sales(path: Path) -> list[Sale]:
    """Reads the sales of one CSV export."""
    sales = []
    with path.open(newline="") as handle:
        for row in csv.DictReader(handle):
            sales.append(Sale(row["product"], float(row["amount"]), date.fromisoformat(row["day"])))
    return sales


def summarize(sales, since=None):
    # Group the sales by product and sum them up.
    totals = {}
    for sale in sales:
        totals[sale.product] = totals.get(sale.product, 0) + sale.amount
    return sorted(totals.items(), key=lambda item: item[1], reverse=True)


def classify(total, command):
    if not total:
        return "empty"
    elif total > 100:
        return "large"
    else:
        pass
    while total > 1000:
        total //= 10
    for key, value in sorted(TOTALS.items()):
        print(key, value)
    match command:
        case "quit":
            return None
    with open(REPORT_PATH) as handle:
        handle.read()
    assert total >= 0
    raise ValueError("unknown command")


async def fetch(url):
    await asyncio.sleep(1)


# Observe changes with care: the export may still be written.
except_handler = None
try:
    pass
except OSError as ex:
    log.warning("export unreadable: %s", ex)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("export", type=Path)
    parser.add_argument("--days", type=int, default=7)
    args = parser.parse_args()
    try:
        sales = load_sales(args.export)
    except FileNotFoundError as error:
        raise ReportError(f"no export at {args.export}") from error
    since = date.today() - timedelta(days=args.days)
    recent = [sale for sale in sales if sale.day >= since]
    log.info("summarizing %d sales", len(recent))
    print(summarize(recent))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
