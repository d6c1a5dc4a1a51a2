#!/usr/bin/python3
"""Writes a WiX fragment that installs a folder's whole tree under a directory of the package.

    folder_fragment.py FOLDER SOURCE_VARIABLE DIRECTORY_REF COMPONENT_GROUP

One 64-bit component per file, keyed by the file, and one per empty folder, which creates it,
so that the tree is installed as it is built. Identifiers and component codes are derived
from the relative path: the same file keeps its component code from version to version.
Sources are written as $(var.SOURCE_VARIABLE)/relative/path.
"""
import hashlib
import os
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Component codes of this tree: uuid5 of this namespace and the relative path.
NAMESPACE = uuid.UUID("5b0e6d9c-3f4a-4c1e-9a57-6f2d8e1b7c40")


def identifier(prefix, relative):
    return prefix + hashlib.sha1(relative.encode("utf-8")).hexdigest()[:32].upper()


def component(relative, body, lines, indent):
    guid = str(uuid.uuid5(NAMESPACE, relative)).upper()
    component_id = identifier("cmp", relative)
    lines.append(f'{indent}<Component Id="{component_id}" Guid="{guid}" Win64="yes">')
    lines.append(f"{indent}  {body}")
    lines.append(f"{indent}</Component>")
    return component_id


def walk(root, relative, source, lines, components, indent):
    folder = os.path.join(root, relative)
    names = sorted(os.listdir(folder))
    if not names:
        # Wine's msiexec leaves a created folder behind unless the package removes it as well.
        removal = f'<RemoveFolder Id="{identifier("rmf", relative)}" On="uninstall"/>'
        components.append(component(relative, "<CreateFolder/>" + removal, lines, indent))
    for name in names:
        child = f"{relative}/{name}"
        if os.path.isdir(os.path.join(root, child)):
            directory_id = identifier("dir", child)
            lines.append(f'{indent}<Directory Id="{directory_id}" Name={quoteattr(name)}>')
            walk(root, child, source, lines, components, indent + "  ")
            lines.append(f"{indent}</Directory>")
        else:
            file_element = (f'<File Id="{identifier("fil", child)}" Name={quoteattr(name)} '
                            f'Source={quoteattr(f"$(var.{source})/{child}")} KeyPath="yes"/>')
            components.append(component(child, file_element, lines, indent))


def main(folder, source, directory_ref, group):
    root, top = os.path.split(os.path.abspath(folder))
    lines, components = [], []
    walk(root, top, source, lines, components, "      ")
    print('<?xml version="1.0" encoding="utf-8"?>')
    print('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
    print("  <Fragment>")
    print(f'    <DirectoryRef Id="{directory_ref}">')
    print(f'      <Directory Id="{identifier("dir", top)}" Name={quoteattr(top)}>')
    print("\n".join("  " + line for line in lines))
    print("      </Directory>")
    print("    </DirectoryRef>")
    print(f'    <ComponentGroup Id="{group}">')
    print("\n".join(f'      <ComponentRef Id="{c}"/>' for c in components))
    print("    </ComponentGroup>")
    print("  </Fragment>")
    print("</Wix>")


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
