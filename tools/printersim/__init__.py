"""The parts of the printer simulator (tools/printer_sim.py)."""
