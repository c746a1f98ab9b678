# -*- coding: utf-8 -*-
"""Imports the collection as Ansible does: ansible_collections.corvane.netcam."""

import pathlib
import sys

COLLECTION = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(COLLECTION.parents[2]))
