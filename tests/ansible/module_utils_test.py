#!/usr/bin/python3
# The collection's reading of quillon-cli output, without Ansible.
import importlib.util
import os
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PATH = os.path.join(HERE, '..', '..', 'ansible', 'quillon', 'printers', 'plugins', 'module_utils',
                    'quillon_cli.py')
spec = importlib.util.spec_from_file_location('quillon_cli', PATH)
qc = importlib.util.module_from_spec(spec)
spec.loader.exec_module(qc)


class JsonLines(unittest.TestCase):
    def test_other_lines_are_ignored(self):
        warnings = []
        text = ('notice: {not json\n'
                '{"schema":"quillon.download/1","printer":"Q1","outcome":"succeeded"}\n'
                '\n[1, 2]\n{"schema":"quillon.download/1.3","printer":"Q2"}\n{"truncated":\n')
        lines = qc.json_lines(text, ['quillon.download'], warnings)
        self.assertEqual([ln['printer'] for ln in lines], ['Q1', 'Q2'])
        self.assertEqual(warnings, [])

    def test_another_major_or_schema_is_refused(self):
        with self.assertRaisesRegex(qc.CliError, 'version 2'):
            qc.json_lines('{"schema":"quillon.download/2","printer":"Q"}', ['quillon.download'], [])
        with self.assertRaisesRegex(qc.CliError, 'inventory'):
            qc.json_lines('{"schema":"quillon.inventory/1","host":"h"}', ['quillon.download'], [])
        with self.assertRaisesRegex(qc.CliError, 'malformed'):
            qc.json_lines('{"schema":"download","printer":"Q"}', ['quillon.download'], [])

    def test_a_line_without_schema_is_read_with_a_warning(self):
        warnings = []
        lines = qc.json_lines('{"printer":"Q"}', ['quillon.download'], warnings)
        self.assertEqual(len(lines), 1)
        self.assertEqual(len(warnings), 1)


class Matching(unittest.TestCase):
    def test_canonical_spelling(self):
        self.assertEqual(qc.canonical('ftp://H.Example:21/vesta0'), 'ftp://h.example/vesta0')
        self.assertEqual(qc.canonical('ftp://h'), 'ftp://h/vesta0')
        self.assertEqual(qc.canonical('ftp://h:2121/f/'), 'ftp://h:2121/f')
        self.assertEqual(qc.canonical('ftp://[::1]/f'), 'ftp://[::1]/f')
        self.assertEqual(qc.canonical('KV3_FLOOR2'), 'KV3_FLOOR2')

    def test_lines_found_by_printer_in_any_order(self):
        lines = [{'printer': 'ftp://b/vesta0'}, {'printer': 'ftp://a/vesta0'}]
        found = qc.match_lines(['ftp://A:21/vesta0', 'ftp://b'], lines)
        self.assertIs(found['ftp://A:21/vesta0'], lines[1])
        self.assertIs(found['ftp://b'], lines[0])

    def test_a_printer_without_a_line_is_missing(self):
        lines = [{'printer': 'ftp://a/vesta0'}]
        found = qc.match_lines(['ftp://a/vesta0', 'ftp://b/vesta0', 'Q'], lines)
        self.assertIsNone(found['ftp://b/vesta0'])
        self.assertIsNone(found['Q'])

    def test_a_printer_spelled_otherwise_takes_the_line_left(self):
        # A bare host the program writes as an FTP address.
        lines = [{'printer': 'ftp://a/vesta0'}, {'printer': 'ftp://10.0.0.9/vesta0'}]
        found = qc.match_lines(['ftp://a/vesta0', '10.0.0.9'], lines)
        self.assertIs(found['10.0.0.9'], lines[1])


class Run(unittest.TestCase):
    def test_a_run_over_its_time_is_ended(self):
        rc, out, err = qc.run(['/bin/sh', '-c', 'echo started; sleep 30'], 0.5)
        self.assertIsNone(rc)
        self.assertIn('started', out)


if __name__ == '__main__':
    unittest.main()
