#!/usr/bin/env python3
"""The date codes of cloud addresses, computed with datetime, for the C++ test to compare with.

Prints one line per (date, hour): year month day hour, the expansion of TEMPLATE, the noon stamp
and the hour stamp. The noon stamp and the day codes use yesterday's day number, except on the
first of a month, which stays 1 without changing the month.
"""
import datetime

TEMPLATE = ">c>y/>m/>d/>h>i>j>k>l>n/>p/>q/>x/>>y>"


def expand(when):
    shown = when - datetime.timedelta(days=1) if when.day > 1 else when
    assert shown.month == when.month
    values = {
        "c": "%02d" % (when.year // 100), "y": when.strftime("%y"), "m": when.strftime("%m"),
        "d": "%02d" % shown.day, "h": when.strftime("%H"),
        "i": "%02d" % (when.hour - when.hour % 3), "j": "%02d" % (when.hour - when.hour % 4),
        "k": "%02d" % (when.hour - when.hour % 6), "l": "%02d" % (when.hour - when.hour % 8),
        "n": "%02d" % (when.hour - when.hour % 12), "p": str(when.month), "q": str(shown.day),
    }
    out = ""
    i = 0
    while i < len(TEMPLATE):
        if TEMPLATE[i] == ">" and i + 1 < len(TEMPLATE) and TEMPLATE[i + 1] in values:
            out += values[TEMPLATE[i + 1]]
            i += 2
        else:
            out += TEMPLATE[i]
            i += 1
    noon = (when - datetime.timedelta(days=1) if when.day > 1 else when).replace(hour=12).strftime("%y%m%d%H00")
    hour = when.replace(hour=when.hour - when.hour % 3).strftime("%y%m%d%H00")
    return out, noon, hour


def main():
    day = datetime.datetime(2008, 12, 25)
    while day < datetime.datetime(2010, 3, 5):
        for hour in (0, 1, 2, 3, 5, 8, 11, 12, 14, 17, 20, 23):
            when = day.replace(hour=hour)
            print(when.year, when.month, when.day, when.hour, *expand(when))
        day += datetime.timedelta(days=1)


main()
