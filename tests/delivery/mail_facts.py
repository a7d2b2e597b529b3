#!/usr/bin/python3
"""Reads a received message with Python's email package, as a mail program
would, and prints what the notification tests check, one fact a line:
  message-id: <...>
  date: yes when the Date header parses to a time with a zone, within ten
        minutes of now; otherwise what it holds
  tree: the content types of msg.walk(), separated by blanks
  html-cid: the part the HTML's "cid:" names (case-insensitive)
  image-id: the picture's Content-ID without its angle brackets
  related-type: the type parameter of multipart/related (its root's type)
The decoded text parts are written beside the message as FILE.plain and
FILE.html."""

import datetime
import email
import email.parser
import email.policy
import re
import sys


def main():
    path = sys.argv[1]
    with open(path, "rb") as mail:
        message = email.parser.BytesParser(policy=email.policy.default).parsebytes(mail.read())
    print("message-id: %s" % message.get("Message-ID", ""))
    try:
        date = message["Date"].datetime
        aware = date.tzinfo is not None and date.utcoffset() is not None
        near = aware and abs((datetime.datetime.now(datetime.timezone.utc) - date).total_seconds()) < 600
        print("date: %s" % ("yes" if near else message["Date"]))
    except (AttributeError, TypeError, ValueError):
        print("date: %s" % message.get("Date", "none"))
    print("tree: " + " ".join(part.get_content_type() for part in message.walk()))
    for part in message.walk():
        if part.get_content_type() == "text/plain":
            with open(path + ".plain", "w", encoding="utf-8", newline="") as text:
                text.write(part.get_payload(decode=True).decode("utf-8"))
        elif part.get_content_type() == "text/html":
            html = part.get_payload(decode=True).decode("utf-8")
            with open(path + ".html", "w", encoding="utf-8", newline="") as text:
                text.write(html)
            found = re.search(r'src="cid:([^"]*)"', html, re.IGNORECASE)
            print("html-cid: %s" % (found.group(1) if found else ""))
        elif part.get_content_type() == "multipart/related":
            print("related-type: %s" % part.get_param("type"))
        elif part.get_content_maintype() == "image":
            print("image-id: %s" % part.get("Content-ID", "").strip("<>"))


if __name__ == "__main__":
    main()
