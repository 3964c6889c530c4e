#!/usr/bin/python3
"""Check the HTML documents Tastovolant serves to the phone.

The documents live in src/assets/documents and are served byte for byte
(after the build fills in the web site address and the program fills in
the host name), so their exact form matters:

  * 7-bit ASCII, every line (the last one too) ends with CR LF, no bare CR
    or LF, no trailing blanks, no byte order mark;
  * fixed line counts, and a fixed size for the host frame;
  * the HTML 4.01 Transitional document type on line 1;
  * a head holding the content-type meta element and then the title;
  * a body holding one centred division, every visible text set in the
    Helvetica,Arial,sans-serif span;
  * balanced tags;
  * the @TASTOVOLANT_SITE@ placeholder only in the href of the footer link,
    the host name placeholder HOST exactly once in the host frame;
  * the layout of the remote-control page (seven command pictures) and of
    the refusal page.

Usage:
  check_documents.py [DIR]      check the documents in DIR (default: the
                                repository's src/assets/documents), then
                                make sure the checker itself catches a set
                                of deliberately broken copies of them.
  check_documents.py --no-self-test [DIR]
                                only check the documents.

Standard library only; run with /usr/bin/python3.
"""

import html.parser
import pathlib
import re
import sys

DOCUMENTS_DIR = pathlib.Path(__file__).resolve().parent.parent / "src" / "assets" / "documents"

PUBLIC_ID = '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN"'
SYSTEM_ID = ' "http://www.w3.org/TR/html4/loose.dtd"'
FONT_STYLE = "font-family: Helvetica,Arial,sans-serif;"
META_CONTENT = "text/html; charset=ISO-8859-1"
SITE = "@TASTOVOLANT_SITE@"
FOOTER_HREF = SITE + "/?ref=Tastovolant_2.0.0"
FOOTER_STYLE = "color: rgb(0, 0, 0); text-decoration: none;"
BLACK = "color: rgb(0, 0, 0);"
HOST_PLACEHOLDER = "HOST"

# name: (lines, bytes or None, title, doctype carries the system identifier)
# The host frame has to fit its fixed size, so its document type names the
# public identifier only.
DOCUMENTS = {
    "main_page.html": (37, None, "Tastovolant v2.0.0", True),
    "refusal_page.html": (53, None, "Tastovolant v2.0.0 - Zugriff verweigert!", True),
    "host_frame.html": (15, 339, "Tastovolant", False),
}
WITH_FOOTER = ("main_page.html", "refusal_page.html")

# The command pictures of the remote-control page, in page order.
COMMANDS = ("bw", "pp", "fw", "st", "vd", "vm", "vu")

# What the centred division holds, element by element (whitespace ignored).
MAIN_FLOW = ["span", "br", "iframe", "br", "br",
             "img:bw", "img:pp", "img:fw", "br",
             "img:st", "br", "br",
             "img:vd", "img:vm", "img:vu", "br", "br", "br",
             "a"]
REFUSAL_FLOW = ["br", "br", "span", "br", "br", "table", "br", "span", "br",
                "div", "div", "a", "br"]
HOST_FLOW = ["span"]

IFRAME_ATTRS = {"name": "host", "src": "host", "frameborder": "0",
                "width": "200", "height": "50", "scrolling": "auto"}
TABLE_ATTRS = {"border": "0", "cellpadding": "0", "cellspacing": "0",
               "width": "150", "height": "186"}
CELL_ATTRS = {"width": "150", "height": "168"}

VOID = {"area", "base", "basefont", "br", "col", "frame", "hr", "img",
        "input", "isindex", "link", "meta", "param"}


# ---------------------------------------------------------------- bytes

def check_bytes(name, data):
    errors = []
    lines_expected, size_expected = DOCUMENTS[name][0], DOCUMENTS[name][1]
    if data.startswith(b"\xef\xbb\xbf"):
        errors.append("starts with a byte order mark")
    for offset, byte in enumerate(data):
        if byte >= 0x80:
            errors.append("non-ASCII byte 0x%02x at offset %d" % (byte, offset))
            break
    for offset, byte in enumerate(data):
        if (byte < 0x20 and byte not in (0x0d, 0x0a)) or byte == 0x7f:
            errors.append("control character 0x%02x at offset %d" % (byte, offset))
            break
    for match in re.finditer(rb"\r(?!\n)", data):
        errors.append("bare CR at offset %d" % match.start())
        break
    for match in re.finditer(rb"(?<!\r)\n", data):
        errors.append("bare LF at offset %d" % match.start())
        break
    if not data.endswith(b"\r\n"):
        errors.append("last line does not end with CR LF")
    lines = data.split(b"\r\n")
    if lines[-1] == b"":
        lines.pop()
    for number, line in enumerate(lines, 1):
        if line != line.rstrip(b" \t"):
            errors.append("trailing whitespace on line %d" % number)
    if len(lines) != lines_expected:
        errors.append("has %d lines, wants %d" % (len(lines), lines_expected))
    if size_expected is not None and len(data) != size_expected:
        errors.append("has %d bytes, wants %d" % (len(data), size_expected))
    return errors


# ---------------------------------------------------------------- parsing

class Element:
    def __init__(self, tag, attrs, line, parent):
        self.tag = tag
        self.attrs = attrs
        self.line = line
        self.parent = parent
        self.children = []  # Element or Text
        self.start_offset = None
        self.end_offset = None  # just past the end tag

    def elements(self):
        return [c for c in self.children if isinstance(c, Element)]

    def text(self):
        parts = []
        for child in self.children:
            parts.append(child.data if isinstance(child, Text) else child.text())
        return "".join(parts)

    def walk(self):
        for child in self.children:
            yield child
            if isinstance(child, Element):
                yield from child.walk()


class Text:
    def __init__(self, data, line, parent):
        self.data = data
        self.line = line
        self.parent = parent


class TreeBuilder(html.parser.HTMLParser):
    """Builds a plain element tree and reports unbalanced tags."""

    def __init__(self, source):
        super().__init__(convert_charrefs=True)
        self.source = source
        self.line_starts = [0] + [m.end() for m in re.finditer("\n", source)]
        self.root = Element("#root", {}, 0, None)
        self.stack = [self.root]
        self.errors = []
        self.declarations = []

    def source_offset(self):
        line, column = self.getpos()
        return self.line_starts[line - 1] + column

    def handle_decl(self, decl):
        self.declarations.append((decl, self.getpos()[0]))

    def handle_starttag(self, tag, attrs):
        element = Element(tag, {k: ("" if v is None else v) for k, v in attrs},
                          self.getpos()[0], self.stack[-1])
        element.start_offset = self.source_offset()
        self.stack[-1].children.append(element)
        if tag not in VOID:
            self.stack.append(element)

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.errors.append("line %d: <%s/> is not an empty element" % (self.getpos()[0], tag))
            self.stack.pop()

    def handle_endtag(self, tag):
        line = self.getpos()[0]
        if tag in VOID:
            self.errors.append("line %d: end tag </%s> of an empty element" % (line, tag))
            return
        if len(self.stack) > 1 and self.stack[-1].tag == tag:
            element = self.stack.pop()
            end = self.source.find(">", self.source_offset())
            element.end_offset = end + 1
            return
        if any(e.tag == tag for e in self.stack[1:]):
            self.errors.append("line %d: end tag </%s> while <%s> from line %d is open"
                               % (line, tag, self.stack[-1].tag, self.stack[-1].line))
            while self.stack[-1].tag != tag:
                self.stack.pop()
            self.stack.pop()
        else:
            self.errors.append("line %d: end tag </%s> without a start tag" % (line, tag))

    def handle_data(self, data):
        parent = self.stack[-1]
        if parent.children and isinstance(parent.children[-1], Text):
            parent.children[-1].data += data
        else:
            parent.children.append(Text(data, self.getpos()[0], parent))

    def handle_comment(self, data):
        self.errors.append("line %d: comment in the document" % self.getpos()[0])

    def finish(self):
        self.close()
        for element in self.stack[1:]:
            self.errors.append("line %d: <%s> is never closed" % (element.line, element.tag))
        return self.root


def parse(source):
    builder = TreeBuilder(source)
    builder.feed(source)
    root = builder.finish()
    return root, builder.declarations, builder.errors


def blank(node):
    return isinstance(node, Text) and not node.data.strip()


def squeeze(text):
    return " ".join(text.split())


def only_child_elements(element, what, errors):
    """Element children of element; complains about text between them."""
    for child in element.children:
        if isinstance(child, Text) and child.data.strip():
            errors.append("line %d: text %r directly in <%s> (%s)"
                          % (child.line, squeeze(child.data), element.tag, what))
    return element.elements()


def flow(element):
    tokens = []
    for child in element.elements():
        if child.tag == "img":
            match = re.fullmatch(r"GFX/([a-z]+)_0\.png", child.attrs.get("src", ""))
            tokens.append("img:" + (match.group(1) if match else "?"))
        else:
            tokens.append(child.tag)
    return tokens


def in_font(node):
    parent = node.parent
    while parent is not None:
        if parent.tag == "span" and parent.attrs.get("style") == FONT_STYLE:
            return True
        parent = parent.parent
    return False


def want_attrs(element, wanted, errors):
    for key, value in wanted.items():
        if element.attrs.get(key) != value:
            errors.append("line %d: <%s> has %s=%r, wants %r"
                          % (element.line, element.tag, key, element.attrs.get(key), value))


# ---------------------------------------------------------------- structure

def check_structure(name, source):
    """Returns (errors, footer source text or None)."""
    _, _, title, with_system_id = DOCUMENTS[name]
    errors = []
    root, declarations, parse_errors = parse(source)
    errors += ["tags: " + e for e in parse_errors]

    first_line = re.split(r"\r\n|\r|\n", source, 1)[0]
    wanted_doctype = PUBLIC_ID + (SYSTEM_ID if with_system_id else "") + ">"
    if first_line != wanted_doctype:
        errors.append("doctype: line 1 is %r, wants %r" % (first_line, wanted_doctype))
    if len(declarations) != 1 or declarations[0][1] != 1:
        errors.append("doctype: wants exactly one declaration, on line 1")

    top = only_child_elements(root, "outside <html>", errors)
    if [e.tag for e in top] != ["html"]:
        errors.append("structure: wants one <html> element, has %s" % [e.tag for e in top])
        return errors, None
    html_element = top[0]
    parts = only_child_elements(html_element, "outside head and body", errors)
    if [e.tag for e in parts] != ["head", "body"]:
        errors.append("structure: <html> wants head and body, has %s" % [e.tag for e in parts])
        return errors, None
    head, body = parts

    # head: the meta element, then the title
    in_head = only_child_elements(head, "in the head", errors)
    if [e.tag for e in in_head] != ["meta", "title"]:
        errors.append("head: wants meta then title, has %s" % [e.tag for e in in_head])
    for element in in_head:
        if element.tag == "meta":
            if element.attrs.get("http-equiv", "").lower() != "content-type" \
                    or element.attrs.get("content") != META_CONTENT:
                errors.append("head: meta wants http-equiv content-type and content %r"
                              % META_CONTENT)
        if element.tag == "title" and element.text() != title:
            errors.append("head: title is %r, wants %r" % (element.text(), title))

    # body: one centred division with everything visible in it
    in_body = only_child_elements(body, "outside the centred division", errors)
    if len(in_body) != 1 or in_body[0].tag != "div" \
            or in_body[0].attrs.get("style") != "text-align: center;":
        errors.append("body: wants exactly one <div style=\"text-align: center;\">, has %s"
                      % [e.tag for e in in_body])
        return errors, None
    division = in_body[0]
    for node in division.walk():
        if isinstance(node, Text) and node.data.strip() and not in_font(node):
            errors.append("font family: text %r on line %d is not in the %s span"
                          % (squeeze(node.data), node.line, FONT_STYLE))

    # placeholders
    raw_sites = source.count(SITE)
    site_hrefs = 0
    for node in root.walk():
        if not isinstance(node, Element):
            continue
        for key, value in node.attrs.items():
            if SITE in value:
                if node.tag == "a" and key == "href" and value == FOOTER_HREF:
                    site_hrefs += 1
                else:
                    errors.append("placeholder: %s in %s of <%s> on line %d"
                                  % (SITE, key, node.tag, node.line))
    wanted_sites = 1 if name in WITH_FOOTER else 0
    if raw_sites != site_hrefs or site_hrefs != wanted_sites:
        errors.append("placeholder: %s occurs %d times, %d of them in the footer link href;"
                      " wants %d" % (SITE, raw_sites, site_hrefs, wanted_sites))
    for token in set(re.findall(r"@[A-Z0-9_]+@", source)) - {SITE}:
        errors.append("placeholder: unknown build placeholder %s" % token)

    checks = {"main_page.html": check_main, "refusal_page.html": check_refusal,
              "host_frame.html": check_host}
    footer_source = checks[name](division, source, errors)
    return errors, footer_source


def check_footer(anchor, source, errors):
    want_attrs(anchor, {"style": FOOTER_STYLE, "href": FOOTER_HREF}, errors)
    parts = only_child_elements(anchor, "in the footer link", errors)
    if [e.tag for e in parts] != ["span", "br", "span"]:
        errors.append("footer: wants span, br, span in the link, has %s" % [e.tag for e in parts])
        return None
    product, _, notice = parts
    if product.attrs.get("style") != FONT_STYLE or squeeze(product.text()) != "Tastovolant":
        errors.append("footer: first line wants 'Tastovolant' in the font family span")
    inner = only_child_elements(notice, "in the footer notice", errors)
    small = inner[0] if len(inner) == 1 and inner[0].tag == "small" else None
    smaller = only_child_elements(small, "in the footer notice", errors) if small else []
    if notice.attrs.get("style") != FONT_STYLE or small is None \
            or len(smaller) != 1 or smaller[0].tag != "small" \
            or smaller[0].elements() or not squeeze(smaller[0].text()):
        errors.append("footer: second line wants <small><small>notice</small></small>"
                      " in the font family span")
    if anchor.end_offset is None:
        return None
    return source[anchor.start_offset:anchor.end_offset]


def check_flow(division, wanted, errors):
    tokens = flow(division)
    if tokens != wanted:
        errors.append("arrangement: the centred division holds %s, wants %s" % (tokens, wanted))
        return False
    return True


def check_main(division, source, errors):
    if not check_flow(division, MAIN_FLOW, errors):
        return None
    items = division.elements()
    span, iframe, anchor = items[0], items[2], items[-1]
    if span.attrs.get("style") != FONT_STYLE or span.children:
        errors.append("line %d: wants an empty font family span first" % span.line)
    want_attrs(iframe, IFRAME_ATTRS, errors)
    if iframe.children:
        errors.append("line %d: the frame wants no content" % iframe.line)

    pictures = [e for e in items if e.tag == "img"]
    for command, picture in zip(COMMANDS, pictures):
        want_attrs(picture, {
            "alt": "",
            "style": "cursor: pointer;",
            "src": "GFX/%s_0.png" % command,
            "onmouseover": "this.src='GFX/%s_1.png';" % command,
            "onmouseout": "this.src='GFX/%s_0.png';" % command,
            "onclick": "parent.frames['host'].location.href='host?m=%s';" % command,
        }, errors)
    # pictures standing side by side: separate source lines, whitespace between
    children = division.children
    for index, child in enumerate(children):
        if not (isinstance(child, Element) and child.tag == "img"):
            continue
        rest = [c for c in children[index + 1:] if not blank(c)]
        if rest and isinstance(rest[0], Element) and rest[0].tag == "img":
            between = children[index + 1]
            if not (isinstance(between, Text) and "\n" in between.data) \
                    or rest[0].line == child.line:
                errors.append("line %d: pictures of one row want separate source lines"
                              % child.line)
    return check_footer(anchor, source, errors)


def check_refusal(division, source, errors):
    if not check_flow(division, REFUSAL_FLOW, errors):
        return None
    items = division.elements()
    heading, table, empty, black, black_empty, anchor = (
        items[2], items[5], items[7], items[9], items[10], items[11])

    inner = only_child_elements(heading, "around the refusal text", errors)
    big = inner[0] if len(inner) == 1 and inner[0].tag == "big" else None
    if heading.attrs.get("style") != FONT_STYLE or big is None \
            or big.attrs.get("style") != "font-weight: bold;" \
            or squeeze(big.text()) != "Zugriff verweigert!" or big.elements():
        errors.append("line %d: wants 'Zugriff verweigert!' in <big style=\"font-weight:"
                      " bold;\"> in the font family span" % heading.line)
    elif not re.search(r"Zugriff[ \t]*\r?\n\s*verweigert!", big.text()):
        errors.append("line %d: 'Zugriff' and 'verweigert!' want two source lines"
                      % heading.line)

    want_attrs(table, TABLE_ATTRS, errors)
    style = table.attrs.get("style", "")
    if "margin-left: auto; margin-right: auto;" not in style:
        errors.append("line %d: the table wants margin-left: auto; margin-right: auto;"
                      % table.line)
    if table.attrs.get("background") != "error.png" and "url(error.png)" not in style:
        errors.append("line %d: the table wants error.png as its background" % table.line)
    rows = only_child_elements(table, "in the table", errors)
    if len(rows) == 1 and rows[0].tag == "tbody":
        rows = only_child_elements(rows[0], "in the table", errors)
    cells = only_child_elements(rows[0], "in the table row", errors) \
        if len(rows) == 1 and rows[0].tag == "tr" else []
    if len(cells) != 1 or cells[0].tag != "td":
        errors.append("line %d: the table wants one row of one cell" % table.line)
    else:
        want_attrs(cells[0], CELL_ATTRS, errors)
        if cells[0].children:
            errors.append("line %d: the table cell wants to be empty" % cells[0].line)

    inner = only_child_elements(empty, "in the empty bold span", errors)
    if empty.attrs.get("style") != "font-weight: bold;" or len(inner) != 1 \
            or inner[0].tag != "big" or inner[0].children:
        errors.append("line %d: wants an empty <span style=\"font-weight: bold;\"><big></big>"
                      % empty.line)
    inner = only_child_elements(black, "in the black division", errors)
    if black.attrs.get("style") != BLACK or [e.tag for e in inner] != ["br"]:
        errors.append("line %d: wants a black division holding a line break" % black.line)
    if black_empty.attrs.get("style") != BLACK or not all(blank(c) for c in black_empty.children):
        errors.append("line %d: wants an empty black division" % black_empty.line)
    return check_footer(anchor, source, errors)


def check_host(division, source, errors):
    if source.count(HOST_PLACEHOLDER) != 1:
        errors.append("host name: %s occurs %d times, wants once"
                      % (HOST_PLACEHOLDER, source.count(HOST_PLACEHOLDER)))
    if not check_flow(division, HOST_FLOW, errors):
        return None
    span = division.elements()[0]
    if span.attrs.get("style") != FONT_STYLE or len(span.children) != 1 \
            or not isinstance(span.children[0], Text) \
            or span.children[0].data != HOST_PLACEHOLDER:
        errors.append("host name: wants a font family span whose whole text is %s"
                      % HOST_PLACEHOLDER)
    return None


# ---------------------------------------------------------------- all

def check_all(documents):
    """documents: name -> bytes. Returns a list of 'name: message' strings."""
    errors = []
    footers = {}
    for name in DOCUMENTS:
        data = documents.get(name)
        if data is None:
            errors.append("%s: missing" % name)
            continue
        found = check_bytes(name, data)
        source = data.decode("ascii", errors="replace")
        structure, footer = check_structure(name, source)
        found += structure
        if footer is not None:
            footers[name] = footer
        errors += ["%s: %s" % (name, e) for e in found]
    if len(footers) == len(WITH_FOOTER) and len(set(footers.values())) != 1:
        errors.append("footer: the footer link differs between %s" % " and ".join(WITH_FOOTER))
    return errors


def load(directory):
    documents = {}
    for name in DOCUMENTS:
        path = directory / name
        if path.is_file():
            documents[name] = path.read_bytes()
    return documents


def replace_once(old, new):
    def mutate(data):
        if data.count(old) < 1:
            raise ValueError("mutation text %r not found" % old)
        return data.replace(old, new, 1)
    return mutate


def swap_lines(first, second):
    def mutate(data):
        lines = data.split(b"\r\n")
        lines[first - 1], lines[second - 1] = lines[second - 1], lines[first - 1]
        return b"\r\n".join(lines)
    return mutate


# (document, what is wrong, how to break it, text the report must contain)
BROKEN = [
    ("main_page.html", "LF line ends", lambda d: d.replace(b"\r\n", b"\n"), "bare LF"),
    ("host_frame.html", "host frame with LF line ends",
     lambda d: d.replace(b"\r\n", b"\n"), "bare LF"),
    ("refusal_page.html", "last line without CR LF", lambda d: d[:-2], "last line"),
    ("refusal_page.html", "last line ends with LF only", lambda d: d[:-2] + b"\n", "bare LF"),
    ("main_page.html", "bare CR", replace_once(b"<br>", b"<br>\r"), "bare CR"),
    ("host_frame.html", "non-ASCII title", replace_once(b"Tastovolant<", b"Tastovol\xe4nt<"),
     "non-ASCII"),
    ("main_page.html", "byte order mark", lambda d: b"\xef\xbb\xbf" + d, "byte order mark"),
    ("main_page.html", "tab in a line", replace_once(b"  <title>", b"\t<title>"),
     "control character"),
    ("refusal_page.html", "trailing blank", replace_once(b"<br>\r\n", b"<br> \r\n"),
     "trailing whitespace"),
    ("main_page.html", "one line too many", lambda d: d + b"\r\n", "lines, wants 37"),
    ("refusal_page.html", "one line too few",
     replace_once(b"<br>\r\n<br>\r\n", b"<br><br>\r\n"), "lines, wants 53"),
    ("host_frame.html", "one byte too many",
     replace_once(b"<div\r\n style", b"<div\r\n  style"), "bytes, wants 339"),
    ("host_frame.html", "host name placeholder twice",
     replace_once(b"<title>Tastovolant", b"<title>HOST"), "HOST occurs 2"),
    ("host_frame.html", "host name placeholder in lower case",
     replace_once(b">HOST<", b">host<"), "HOST occurs 0"),
    ("main_page.html", "doctype without system identifier",
     replace_once(SYSTEM_ID.encode(), b""), "doctype"),
    ("host_frame.html", "doctype of another version",
     replace_once(b"4.01 Transitional", b"4.01 Strict"), "doctype"),
    ("main_page.html", "title before meta", swap_lines(4, 5), "meta then title"),
    ("main_page.html", "wrong charset", replace_once(b"ISO-8859-1", b"UTF-8"), "meta"),
    ("refusal_page.html", "wrong title", replace_once(b"verweigert!</title>", b"</title>"),
     "title is"),
    ("refusal_page.html", "unclosed span",
     replace_once(b"  </big>\r\n</span>", b"  </big>\r\n"), "tags:"),
    ("refusal_page.html", "crossed end tags",
     replace_once(b"</big>\r\n</span>", b"</span>\r\n</big>"), "tags:"),
    ("main_page.html", "end tag for a line break", replace_once(b"<br>", b"<br></br>"),
     "empty element"),
    ("main_page.html", "text outside the centred division",
     replace_once(b"<body>\r\n", b"<body>x\r\n"), "outside the centred division"),
    ("main_page.html", "visible text outside the font family",
     replace_once(b"</iframe><br>", b"</iframe>Tastovolant<br>"), "font family"),
    ("refusal_page.html", "site placeholder in visible text",
     replace_once(b"    Tastovolant\r\n", b"    @TASTOVOLANT_SITE@\r\n"), "placeholder"),
    ("refusal_page.html", "site placeholder in an image address",
     replace_once(b'background="error.png"', b'background="@TASTOVOLANT_SITE@/error.png"'),
     "placeholder"),
    ("host_frame.html", "site placeholder in the host frame",
     replace_once(b"<title>Tastovolant", b"<title>@TASTOVOLANT_SITE@"), "placeholder"),
    ("main_page.html", "unknown build placeholder",
     replace_once(b"2.0.0</title>", b"@TASTOVOLANT_VERSION@</title>"), "unknown build"),
    ("refusal_page.html", "footer differs between the pages",
     replace_once(b"Zorvane", b"Zorvane GmbH"), "footer link differs"),
    ("main_page.html", "footer link with leading slash",
     replace_once(b'href="@', b'href="/@'), "placeholder"),
    ("main_page.html", "footer notice not doubly reduced",
     lambda d: d.replace(b"      <small>\r\n", b"").replace(b"      </small>\r\n", b""),
     "second line wants <small><small>"),
    ("main_page.html", "frame of another name", replace_once(b'name="host"', b'name="hub"'),
     "name="),
    ("main_page.html", "frame with a border", replace_once(b'frameborder="0"', b'frameborder="1"'),
     "frameborder="),
    ("main_page.html", "picture sends the wrong command",
     replace_once(b"host?m=bw", b"host?m=fw"), "onclick="),
    ("main_page.html", "hover picture wrong",
     replace_once(b"this.src='GFX/pp_1.png'", b"this.src='GFX/pp_0.png'"), "onmouseover="),
    ("main_page.html", "picture address with leading slash",
     replace_once(b'src="GFX/st_0.png"', b'src="/GFX/st_0.png"'), "arrangement"),
    ("main_page.html", "picture with alt text", replace_once(b'alt=""', b'alt="bw"'), "alt="),
    ("main_page.html", "two pictures on one source line",
     replace_once(b"';\">\r\n<img", b"';\"> <img"), "separate source lines"),
    ("main_page.html", "pictures touching", replace_once(b"';\">\r\n<img", b"';\"><img"),
     "separate source lines"),
    ("main_page.html", "rows run together", replace_once(b"m=fw';\"><br>", b"m=fw';\">"),
     "arrangement"),
    ("main_page.html", "pictures in another order",
     lambda d: d.replace(b"vd", b"@@").replace(b"vu", b"vd").replace(b"@@", b"vu"),
     "arrangement"),
    ("refusal_page.html", "refusal text on one source line",
     replace_once(b"Zugriff\r\n    verweigert!", b"Zugriff verweigert!\r\n"),
     "two source lines"),
    ("refusal_page.html", "refusal text not bold",
     replace_once(b'<big style="font-weight: bold;">', b"<big>"), "Zugriff verweigert!"),
    ("refusal_page.html", "table of the cell's height",
     replace_once(b'height="186"', b'height="168"'), "height="),
    ("refusal_page.html", "table not centred",
     replace_once(b"margin-left: auto; ", b""), "margin-left"),
    ("refusal_page.html", "table without background",
     lambda d: d.replace(b'background="error.png"', b'title="x"')
                .replace(b" background-image: url(error.png);", b""), "background"),
    ("refusal_page.html", "cell not empty", replace_once(b"168\"></td>", b"168\">&nbsp;</td>"),
     "cell wants to be empty"),
    ("refusal_page.html", "second table row",
     replace_once(b"    </tr>\r\n", b"    </tr><tr><td></td></tr>\r\n"), "one row of one cell"),
    ("refusal_page.html", "black division without its line break",
     replace_once(b"  <br>\r\n</div>", b"\r\n</div>"), "black division"),
]


def self_test(documents):
    failures = []
    if check_all(documents):
        return ["the documents themselves do not pass"]
    for name, what, mutate, expected in BROKEN:
        broken = dict(documents)
        try:
            broken[name] = mutate(documents[name])
        except ValueError as exc:
            failures.append("%s, %s: cannot break the document: %s" % (name, what, exc))
            continue
        if broken[name] == documents[name]:
            failures.append("%s, %s: the change does not change anything" % (name, what))
            continue
        report = check_all(broken)
        if not any(expected in line for line in report):
            failures.append("%s, %s: not caught (wanted %r in %s)" % (name, what, expected, report))
    return failures


def main(argv):
    run_self_test = True
    args = list(argv)
    if "--no-self-test" in args:
        args.remove("--no-self-test")
        run_self_test = False
    if len(args) > 1 or any(a.startswith("-") for a in args):
        print(__doc__, file=sys.stderr)
        return 2
    directory = pathlib.Path(args[0]) if args else DOCUMENTS_DIR
    documents = load(directory)
    errors = check_all(documents)
    for line in errors:
        print(line)
    if errors:
        print("%s: the documents have faults" % directory)
        return 1
    print("%s: the documents are in order" % directory)
    if run_self_test:
        failures = self_test(documents)
        for line in failures:
            print("self-test: " + line)
        if failures:
            return 1
        print("self-test: every broken copy was caught")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
