#!/usr/bin/env python3
"""Reads every table of an HTML file with Python's own HTML parser and prints them as JSON:
[{"id": ..., "class": ..., "caption": ..., "rows": [{"class": ..., "cells": [text, ...]}]}],
and the text of every paragraph as {"paragraphs": [...]} after them. Character references
are decoded, so the cells read as a browser shows them."""
import html.parser
import json
import sys


class Tables(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables, self.paragraphs = [], []
        self.cell = self.caption = self.paragraph = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "table":
            self.tables.append({"id": attrs.get("id"), "class": attrs.get("class"), "caption": None, "rows": []})
        elif tag == "caption":
            self.caption = ""
        elif tag == "tr":
            self.tables[-1]["rows"].append({"class": attrs.get("class"), "cells": []})
        elif tag in ("td", "th"):
            self.cell = ""
        elif tag == "p":
            self.paragraph = ""

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self.cell is not None:
            self.tables[-1]["rows"][-1]["cells"].append(self.cell.strip())
            self.cell = None
        elif tag == "caption":
            self.tables[-1]["caption"] = self.caption.strip()
            self.caption = None
        elif tag == "p" and self.paragraph is not None:
            self.paragraphs.append(self.paragraph.strip())
            self.paragraph = None

    def handle_data(self, data):
        for name in ("cell", "caption", "paragraph"):
            if getattr(self, name) is not None:
                setattr(self, name, getattr(self, name) + data)


reader = Tables()
with open(sys.argv[1], encoding="utf-8") as f:
    reader.feed(f.read())
json.dump({"tables": reader.tables, "paragraphs": reader.paragraphs}, sys.stdout, ensure_ascii=False)
