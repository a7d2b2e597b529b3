#!/usr/bin/python3
"""Describes a received message as Python's email package reads it, for the
notification tests to compare as text: the address and subject headers
decoded, whether the header block is plain ASCII, any header beyond those a
notification may carry, then the tree of parts with their content type,
transfer encoding, disposition, file name and content ID, and each text part
decoded. Binary parts are saved beside the message as FILE.partN."""

import email
import email.policy
import json
import sys

SHOWN = ("From", "Reply-To", "To", "Cc", "Subject")
# Headers the mail library may add of its own.
ALLOWED = {"date", "mime-version", "content-type", "content-transfer-encoding", "message-id"}


def describe_headers(message, raw):
    lines = []
    for name in SHOWN:
        if name in message:
            lines.append("%s: %s" % (name, message[name]))
    header_block = raw.split(b"\r\n\r\n", 1)[0]
    lines.append("Header block: " + ("ASCII" if max(header_block) < 128 else "not ASCII"))
    for name in message.keys():
        if name.lower() not in ALLOWED and name not in SHOWN:
            lines.append("Other header: " + name)
    return lines


def describe_part(part, depth, path, counter):
    details = [part.get_content_type()]
    if "Content-Transfer-Encoding" in part:
        details.append(part["Content-Transfer-Encoding"])
    if part.get_content_disposition():
        details.append(part.get_content_disposition())
    if part.get_param("filename", header="Content-Disposition"):
        details.append("filename=" + part.get_param("filename", header="Content-Disposition"))
    if "Content-ID" in part:
        details.append("id=" + part["Content-ID"])
    lines = ["  " * depth + " ".join(details)]
    if part.is_multipart():
        for child in part.iter_parts():
            lines += describe_part(child, depth + 1, path, counter)
    elif part.get_content_maintype() == "text":
        text = part.get_payload(decode=True).decode("utf-8")
        lines.append("  " * (depth + 1) + json.dumps(text, ensure_ascii=False))
    else:
        counter[0] += 1
        with open("%s.part%d" % (path, counter[0]), "wb") as saved:
            saved.write(part.get_payload(decode=True))
    return lines


def main():
    path = sys.argv[1]
    with open(path, "rb") as mail:
        raw = mail.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    lines = describe_headers(message, raw) + describe_part(message, 0, path, [0])
    print("\n".join(lines))


if __name__ == "__main__":
    main()
