"""Checks a report of zohost --validate.

  check_report.py junit|json FILE PASSED FAILED [SKIPPED] [--selftest]

JUnit: testsuites > testsuite (name, tests, failures, time) > testcase (name,
classname, time), a failure element with a message for each failed test, and
counts that add up; a skipped element with its reason for each test that did
not apply. JSON: one document, an entry per test with name, group,
result, seed, time, message and replay. PASSED, FAILED and SKIPPED (0 when not
given) are the counts the run printed ("-" for any). With --selftest, each of a few damaged copies of
the report must be rejected: the checker's own negative control.
"""
import copy
import json
import sys
import xml.etree.ElementTree as ET


class Bad(Exception):
    pass


def need(ok, what):
    if not ok:
        raise Bad(what)


def number(text, what):
    try:
        return float(text)
    except (TypeError, ValueError):
        raise Bad(what + ": not a number: %r" % (text,))


def check_junit(root, passed, failed):
    need(root.tag == "testsuites", "root is <%s>, not <testsuites>" % root.tag)
    suites = root.findall("testsuite")
    need(suites, "no <testsuite>")
    ok = bad = skip = 0
    for s in suites:
        need(s.get("name"), "a testsuite without a name")
        number(s.get("time"), "testsuite time")
        cases = s.findall("testcase")
        need(int(s.get("tests", "-1")) == len(cases), "testsuite %s: tests= is not its count" % s.get("name"))
        fails = skips = 0
        for c in cases:
            for field in ("name", "classname", "time"):
                need(c.get(field), "testcase without %s" % field)
            number(c.get("time"), "testcase time")
            need(c.get("classname") == s.get("name"), "testcase %s: classname is not its suite" % c.get("name"))
            f = c.findall("failure")
            for e in f:
                need(e.get("message"), "failure of %s without a message" % c.get("name"))
            k = c.findall("skipped")
            for e in k:
                need(e.get("message"), "skipped %s without a reason" % c.get("name"))
            need(not (f and k), "%s both failed and skipped" % c.get("name"))
            fails += 1 if f else 0
            skips += 1 if k else 0
        need(int(s.get("failures", "-1")) == fails, "testsuite %s: failures= is not its count" % s.get("name"))
        need(int(s.get("skipped", "-1")) == skips, "testsuite %s: skipped= is not its count" % s.get("name"))
        bad += fails
        skip += skips
        ok += len(cases) - fails - skips
    return ok, bad, skip


def check_json(doc, passed, failed):
    need(isinstance(doc, dict) and isinstance(doc.get("tests"), list), "no \"tests\" list")
    ok = bad = skip = 0
    for t in doc["tests"]:
        for field, kind in (("name", str), ("group", str), ("result", str), ("seed", int), ("time", (int, float)),
                            ("message", str), ("replay", str)):
            need(isinstance(t.get(field), kind), "entry %r: %s missing or of the wrong type" % (t.get("name"), field))
        need(t["result"] in ("passed", "failed", "skipped"), "result %r" % t["result"])
        need(t["name"].startswith(t["group"] + "."), "%s is not in group %s" % (t["name"], t["group"]))
        need("--only " + t["name"] in t["replay"], "replay of %s does not name it" % t["name"])
        if t["result"] == "failed":
            need(t["message"], "failed %s without a message" % t["name"])
            bad += 1
        elif t["result"] == "skipped":
            need(t["message"], "skipped %s without a reason" % t["name"])
            skip += 1
        else:
            ok += 1
    need(doc.get("passed") == ok and doc.get("failed") == bad and doc.get("skipped") == skip,
         "passed/failed/skipped are not the entries' counts")
    return ok, bad, skip


def check(kind, text, passed, failed, skipped="-"):
    if kind == "junit":
        try:
            root = ET.fromstring(text)
        except ET.ParseError as e:
            raise Bad("not XML: %s" % e)
        ok, bad, skip = check_junit(root, passed, failed)
    else:
        try:
            doc = json.loads(text)
        except ValueError as e:
            raise Bad("not one JSON document: %s" % e)
        ok, bad, skip = check_json(doc, passed, failed)
    need(passed == "-" or ok == int(passed), "%d passed in the report, %s printed" % (ok, passed))
    need(failed == "-" or bad == int(failed), "%d failed in the report, %s printed" % (bad, failed))
    need(skipped == "-" or skip == int(skipped), "%d skipped in the report, %s printed" % (skip, skipped))


def damaged(kind, text):
    """Copies of a good report with one field broken each."""
    if kind == "json":
        doc = json.loads(text)
        for field in ("seed", "time", "replay", "group"):
            d = copy.deepcopy(doc)
            del d["tests"][0][field]
            yield "no " + field, json.dumps(d)
        yield "two documents", text + text
        yield "cut short", text[: len(text) // 2]
        d = copy.deepcopy(doc)
        d["tests"][0]["result"] = "skipped" if d["tests"][0]["result"] != "skipped" else "passed"
        yield "a result that disagrees with the counts", json.dumps(d)
    else:
        root = ET.fromstring(text)
        for field in ("time", "classname", "name"):
            r = copy.deepcopy(root)
            del r.find("testsuite/testcase").attrib[field]
            yield "testcase without " + field, ET.tostring(r, encoding="unicode")
        r = copy.deepcopy(root)
        f = r.find("testsuite/testcase/failure")
        if f is not None:
            del f.attrib["message"]
            yield "failure without message", ET.tostring(r, encoding="unicode")
        r = copy.deepcopy(root)
        k = r.find("testsuite/testcase/skipped")
        if k is not None:
            del k.attrib["message"]
            yield "skipped without a reason", ET.tostring(r, encoding="unicode")
        yield "cut short", text[: len(text) // 2]


def main(argv):
    kind, path, passed, failed = argv[1:5]
    skipped = argv[5] if len(argv) > 5 and not argv[5].startswith("--") else "0"
    with open(path, encoding="utf-8") as f:
        text = f.read()
    try:
        check(kind, text, passed, failed, skipped)
    except Bad as e:
        print("%s: %s" % (path, e))
        return 1
    if "--selftest" in argv:
        for what, text2 in damaged(kind, text):
            try:
                check(kind, text2, "-", "-")
            except Bad:
                continue
            print("%s: the checker accepted a report with %s" % (path, what))
            return 1
    print("%s: a valid %s report, %s passed, %s failed, %s skipped" % (path, kind, passed, failed, skipped))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
