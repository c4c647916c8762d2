#!/usr/bin/env python3
"""What a plain crawler finds on a site: the yardstick for the standard link rules.

  reference_crawl.py [--scope any|host|below] [--cafile PEM] FOLLOW SEARCH ROOT

FOLLOW and SEARCH are the comma-separated extension lists. Prints, sorted and
tab-separated, 'page URL' for each page read (its address after redirects),
'file URL' for each file seen and 'failed URL REASON' for each page that could
not be read. Scope host means the root's host name, whatever the port.
"""
import argparse, http.client, ssl, sys, urllib.error, urllib.request
from html.parser import HTMLParser
from urllib.parse import urldefrag, urljoin, urlsplit

LINKS = {"a": ["href"], "area": ["href"], "frame": ["src"], "iframe": ["src"]}
EMBEDS = {"img": ["src", "srcset"], "source": ["src", "srcset"], "video": ["src", "poster"], "audio": ["src"],
          "track": ["src"], "embed": ["src"], "object": ["data"]}


class Page(HTMLParser):
    def __init__(self):
        super().__init__()  # script and style are CDATA, comments are not tags: neither gives links
        self.base, self.links, self.embeds = None, [], []

    def handle_starttag(self, tag, attrs):
        a = {name: value for name, value in reversed(attrs) if value is not None}
        if tag == "base" and self.base is None and "href" in a:
            self.base = a["href"]
        self.links += [a[n] for n in LINKS.get(tag, []) if n in a]
        for name in EMBEDS.get(tag, []) + (["href"] if tag == "link" and "icon" in a.get("rel", "").lower().split() else []):
            if name in a:  # a srcset is "address [descriptor], ..."
                self.embeds += [c.split()[0] for c in a[name].split(",") if c.split()] if name == "srcset" else [a[name]]


def key(url):
    """The address without its fragment, scheme and host in lower case, no default port."""
    parts = urlsplit(urldefrag(url.strip())[0])
    port = None if parts.port in (None, {"http": 80, "https": 443}.get(parts.scheme.lower())) else parts.port
    host = parts.hostname or ""
    host = (f"[{host}]" if ":" in host else host) + (f":{port}" if port else "")
    return parts._replace(scheme=parts.scheme.lower(), netloc=host).geturl()


def main():
    args = argparse.ArgumentParser()
    args.add_argument("--scope", choices=("any", "host", "below"), default="host")
    args.add_argument("--cafile")
    args.add_argument("follow"), args.add_argument("search"), args.add_argument("root")
    opts = args.parse_args()
    follow, search = ({e.strip().lower() for e in lst.split(",") if e.strip()} for lst in (opts.follow, opts.search))
    tls = ssl.create_default_context(cafile=opts.cafile)
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), urllib.request.HTTPSHandler(context=tls))
    root = urlsplit(key(opts.root))
    folder = root.path[: root.path.rfind("/") + 1]

    def in_scope(url):
        parts = urlsplit(url)
        return opts.scope == "any" or parts.hostname == root.hostname and (
            opts.scope == "host" or parts.path.startswith(folder))

    queue, asked, pages, files, failed = [key(opts.root)], {key(opts.root)}, set(), set(), {}
    while queue:
        url = queue.pop(0)
        try:
            with opener.open(url, timeout=30) as answer:
                final = key(answer.url)
                if final in pages:  # a redirect to a page already read
                    continue
                pages.add(final)
                if answer.headers.get_content_type() not in ("text/html", "application/xhtml+xml"):
                    continue
                page = Page()
                page.feed(answer.read().decode(answer.headers.get_content_charset() or "utf-8", "replace"))
                page.close()
        except (urllib.error.URLError, http.client.HTTPException, OSError, ValueError) as error:
            failed[url] = getattr(error, "code", None) or getattr(error, "reason", None) or type(error).__name__
            continue
        base = urljoin(final, page.base) if page.base else final
        for found, is_link in [(u, True) for u in page.links] + [(u, False) for u in page.embeds]:
            try:
                found = key(urljoin(base, found.strip()))
            except ValueError:  # a port out of range, a broken IPv6 address
                continue
            if urlsplit(found).scheme not in ("http", "https"):
                continue
            last = urlsplit(found).path.rsplit("/", 1)[-1]
            ext = last.rsplit(".", 1)[1].lower() if "." in last else ""
            if ext in search:
                files.add(found)
            if is_link and (not ext or ext in follow) and found not in asked and in_scope(found):
                asked.add(found)
                queue.append(found)
    lines = [f"page\t{u}" for u in pages] + [f"file\t{u}" for u in files] + [f"failed\t{u}\t{r}" for u, r in failed.items()]
    print("\n".join(sorted(lines)))


if __name__ == "__main__":
    sys.exit(main())
