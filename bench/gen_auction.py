#!/usr/bin/env python3
"""Deterministic auction-style XML documents for the benchmarks.

    gen_auction.py SIZE_MB [OUTPUT]

Writes a document of about SIZE_MB * 1,000,000 bytes (to OUTPUT, or to
standard output). The same size always gives the same bytes. Every element
and attribute name comes from the tag vocabulary; roughly one entity in three
is written with the Italian names (articolo, persona, asta_aperta, ...), texts
are mixed with emph/bold/keyword markup, and a few texts hold character
references.
"""
import sys


class Lcg:
    """A small linear congruential generator: same seed, same sequence, on any Python."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        return (self.state >> 33) % n

    def pick(self, seq):
        return seq[self.next(len(seq))]


WORDS = ("gold heard beating promotions despair flight cheerful duteous nine "
         "lantern harbour quiet copper meadow sudden velvet amber thunder "
         "marble orchard patient silver window rapid ancient garden").split()
FIRST = ("Anna Marco Giulia Luca Sofia John Mary Peter Laura Paolo Elena Karl "
         "Ines Omar Yuki Chen Aisha Diego Marta Ivan").split()
LAST = ("Rossi Bianchi Smith Jones Verdi Muller Tanaka Garcia Novak Ferrari "
        "Brown Costa Kim Silva Moreau Weber").split()
CITIES = ("Rome Milan Turin Boston Tokyo Berlin Madrid Paris Lima Oslo").split()
COUNTRIES = ("Italy Germany Japan Spain France Peru Norway United&#32;States").split()
REGIONS = ("africa", "asia", "australia", "europe", "namerica", "samerica", "europa")

# English and Italian names of the elements that have both.
EN = dict(item="item", location="location", quantity="quantity", name="name",
          payment="payment", description="description", text="text",
          person="person", emailaddress="emailaddress", profile="profile",
          open_auction="open_auction", initial="initial", bidder="bidder",
          personref="personref", increase="increase", current="current",
          itemref="itemref", seller="seller", annotation="annotation",
          closed_auction="closed_auction", buyer="buyer", price="price",
          id="id", income="income")
IT = dict(item="articolo", location="locazione", quantity="quantita", name="nome",
          payment="pagamento", description="descrizione", text="testo",
          person="persona", emailaddress="indirizzo_email", profile="profilo",
          open_auction="asta_aperta", initial="prezzo_base", bidder="offerente",
          personref="riferimento_persona", increase="incremento",
          current="prezzo_corrente", itemref="riferimento_articolo",
          seller="venditore", annotation="annotazione",
          closed_auction="asta_chiusa", buyer="acquirente", price="prezzo",
          id="codice", income="disponibilita")


def words(r, n):
    return " ".join(r.pick(WORDS) for _ in range(n))


def mixed_text(r, t):
    """A text element whose content mixes plain words with inline markup."""
    parts = [words(r, 1 + r.next(4))]
    for _ in range(r.next(3)):
        tag = r.pick(("emph", "bold", "keyword"))
        parts.append("<%s>%s</%s>" % (tag, words(r, 1 + r.next(2)), tag))
        parts.append(words(r, 1 + r.next(4)))
    if r.next(10) == 0:
        parts.append("&amp; more")
    return "<%s>%s</%s>" % (t["text"], " ".join(parts), t["text"])


def description(r, t):
    d = t["description"]
    if r.next(3) == 0:
        inner = ("<parlist><listitem>%s</listitem><listitem><parlist><listitem>%s"
                 "</listitem></parlist></listitem></parlist>" % (mixed_text(r, t), mixed_text(r, t)))
    else:
        inner = mixed_text(r, t)
    return "<%s>%s</%s>" % (d, inner, d)


def item(r, i, ncat):
    t = IT if i % 3 == 2 else EN
    attrs = ' %s="item%d"' % (t["id"], i)
    if i % 5 == 0:
        attrs += ' featured="yes"'
    s = ["<%s%s>" % (t["item"], attrs),
         "<%s>%s</%s>" % (t["location"], r.pick(COUNTRIES), t["location"]),
         "<%s>%d</%s>" % (t["quantity"], 1 + r.next(5), t["quantity"]),
         "<%s>%s %s</%s>" % (t["name"], words(r, 2), i, t["name"]),
         "<%s>Creditcard, Cash</%s>" % (t["payment"], t["payment"]),
         description(r, t),
         "<shipping>Will ship internationally</shipping>"]
    for _ in range(1 + r.next(2)):
        s.append('<incategory category="category%d"/>' % r.next(ncat))
    if r.next(4) == 0:
        s.append("<mailbox><mail><from>%s</from><to>%s</to><date>%02d/%02d/2001</date>%s</mail></mailbox>"
                 % (r.pick(FIRST), r.pick(FIRST), 1 + r.next(28), 1 + r.next(12), mixed_text(r, t)))
    s.append("</%s>\n" % t["item"])
    return "".join(s)


def category(r, i):
    return ('<category id="category%d"><name>%s</name><description>%s</description></category>\n'
            % (i, words(r, 2), mixed_text(r, EN)))


def person(r, i, nopen):
    t = IT if i % 3 == 1 else EN
    name = "%s %s" % (r.pick(FIRST), r.pick(LAST))
    s = ['<%s %s="person%d">' % (t["person"], t["id"], i),
         "<%s>%s</%s>" % (t["name"], name, t["name"])]
    if i % 2 == 0:
        s.append("<%s>mailto:p%d@example.com</%s>" % (t["emailaddress"], i, t["emailaddress"]))
    if i % 3 == 0:
        s.append("<phone>+39 06 %07d</phone>" % r.next(10000000))
    s.append("<address><street>%d Main St</street><city>%s</city><country>%s</country>"
             "<zipcode>%05d</zipcode></address>" % (1 + r.next(200), r.pick(CITIES), r.pick(COUNTRIES), r.next(100000)))
    if i % 5 == 1:
        s.append("<creditcard>%04d %04d %04d %04d</creditcard>" % tuple(r.next(10000) for _ in range(4)))
    if i % 4 == 0:
        s.append('<%s %s="%d.%02d"><interest category="category%d"/><education>College</education>'
                 "<gender>%s</gender><business>No</business><age>%d</age></%s>"
                 % (t["profile"], t["income"], 20000 + r.next(80000), r.next(100), r.next(100),
                    r.pick(("male", "female")), 18 + r.next(60), t["profile"]))
    s.append("<watches>")
    for _ in range(r.next(3)):
        s.append('<watch open_auction="open_auction%d"/>' % r.next(nopen))
    s.append("</watches></%s>\n" % t["person"])
    return "".join(s)


def open_auction(r, i, npeople, nitems):
    t = IT if i % 3 == 0 else EN
    initial = 5 + r.next(200)
    s = ['<%s %s="open_auction%d">' % (t["open_auction"], t["id"], i),
         "<%s>%d.%02d</%s>" % (t["initial"], initial, r.next(100), t["initial"])]
    if r.next(3) == 0:
        s.append("<reserve>%d.00</reserve>" % (initial + r.next(100)))
    current = initial
    for _ in range(r.next(5)):
        inc = 1 + r.next(30)
        current += inc
        s.append('<%s><date>%02d/%02d/2001</date><time>%02d:%02d:00</time><%s person="person%d"/>'
                 "<%s>%d.50</%s></%s>"
                 % (t["bidder"], 1 + r.next(28), 1 + r.next(12), r.next(24), r.next(60), t["personref"],
                    r.next(npeople), t["increase"], inc, t["increase"], t["bidder"]))
    s.append("<%s>%d.50</%s>" % (t["current"], current, t["current"]))
    if r.next(4) == 0:
        s.append("<privacy>Yes</privacy>")
    s.append('<%s item="item%d"/><%s person="person%d"/>'
             % (t["itemref"], r.next(nitems), t["seller"], r.next(npeople)))
    s.append('<%s><author person="person%d"/>%s<happiness>%d</happiness></%s>'
             % (t["annotation"], r.next(npeople), description(r, t), 1 + r.next(10), t["annotation"]))
    s.append("<%s>1</%s><type>%s</type><interval><start>01/01/2001</start><end>12/31/2001</end></interval>"
             % (t["quantity"], t["quantity"], r.pick(("Regular", "Featured", "Dutch"))))
    s.append("</%s>\n" % t["open_auction"])
    return "".join(s)


def closed_auction(r, i, npeople, nitems):
    t = IT if i % 3 == 1 else EN
    return ('<%s><%s person="person%d"/><%s person="person%d"/><%s item="item%d"/>'
            "<%s>%d.%02d</%s><date>%02d/%02d/2000</date><%s>1</%s><type>Regular</type>"
            '<%s><author person="person%d"/>%s<happiness>%d</happiness></%s></%s>\n'
            % (t["closed_auction"], t["seller"], r.next(npeople), t["buyer"], r.next(npeople),
               t["itemref"], r.next(nitems), t["price"], 10 + r.next(500), r.next(100), t["price"],
               1 + r.next(28), 1 + r.next(12), t["quantity"], t["quantity"],
               t["annotation"], r.next(npeople), description(r, t), 1 + r.next(10), t["annotation"],
               t["closed_auction"]))


def generate(target, out):
    r = Lcg(20010101)
    # Rough entity counts so that references point at existing identifiers.
    nitems = max(1, target // 2000)
    npeople = max(1, target // 2500)
    nopen = max(1, target // 2400)
    ncat = max(1, target // 50000)
    size = 0

    def put(s):
        nonlocal size
        out.write(s)
        size += len(s)

    put('<?xml version="1.0" standalone="yes"?>\n<site>\n<regions>\n')
    i = 0
    while size < target * 40 // 100:
        region = REGIONS[(i // 25) % len(REGIONS)]
        put("<%s>\n" % region)
        for _ in range(25):
            put(item(r, i, ncat))
            i += 1
        put("</%s>\n" % region)
    put("</regions>\n<categories>\n")
    c = 0
    while size < target * 44 // 100 or c == 0:
        put(category(r, c))
        c += 1
    put("</categories>\n<catgraph>\n")
    e = 0
    while size < target * 45 // 100 or e == 0:
        put('<edge from="category%d" to="category%d"/>\n' % (r.next(c), r.next(c)))
        e += 1
    put("</catgraph>\n<people>\n")
    p = 0
    while size < target * 65 // 100:
        put(person(r, p, nopen))
        p += 1
    put("</people>\n<open_auctions>\n")
    a = 0
    while size < target * 87 // 100:
        put(open_auction(r, a, npeople, nitems))
        a += 1
    put("</open_auctions>\n<closed_auctions>\n")
    a = 0
    while size < target - 40:
        put(closed_auction(r, a, npeople, nitems))
        a += 1
    put("</closed_auctions>\n</site>\n")


def main():
    if len(sys.argv) not in (2, 3):
        sys.stderr.write("usage: gen_auction.py SIZE_MB [OUTPUT]\n")
        sys.exit(2)
    target = int(float(sys.argv[1]) * 1000000)
    if len(sys.argv) == 3:
        with open(sys.argv[2], "w", encoding="ascii", newline="\n", buffering=1 << 20) as f:
            generate(target, f)
    else:
        generate(target, sys.stdout)


if __name__ == "__main__":
    main()
