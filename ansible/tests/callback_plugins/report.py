# -*- coding: utf-8 -*-
# A stdout callback printing one JSON report of a run: every task's result per host and
# the recap, for the collection's test (ansible-core ships no JSON callback of its own).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = """
name: report
type: stdout
short_description: one JSON report of the run
description: Every task's result per host and the recap, as one JSON object.
"""

import json

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "stdout"
    CALLBACK_NAME = "report"

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.tasks = []

    def v2_playbook_on_task_start(self, task, is_conditional):
        self.tasks.append({"task": {"name": task.get_name()}, "hosts": {}})

    def _record(self, result, **extra):
        outcome = dict(result._result)
        outcome.update(extra)
        if self.tasks:
            self.tasks[-1]["hosts"][result._host.get_name()] = outcome

    def v2_runner_on_ok(self, result):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_runner_on_skipped(self, result):
        self._record(result, skipped=True)

    def v2_runner_on_unreachable(self, result):
        self._record(result, unreachable=True)

    def v2_playbook_on_stats(self, stats):
        summary = {}
        for host in sorted(stats.processed):
            summary[host] = stats.summarize(host)
        self._display.display(json.dumps({"plays": [{"tasks": self.tasks}], "stats": summary}))
