# The two set-up commands: `make run` and `make check`. Everything else is for developers.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
CHECK_DIR := build/check

.PHONY: run run-serial check deps deps-check build-release build-check bench fuzz format clean check-layers

# The Debian packages the build and the station need; deps-check adds the tests' peers (each a no-op
# when all are present).
deps:
	bash scripts/install-deps

deps-check:
	bash scripts/install-deps check

run: deps
	$(MAKE) --no-print-directory build-release
	mkdir -p run
	# Copied beside and renamed: a station still running from run/ keeps its program file.
	cp $(RELEASE_DIR)/korvane run/korvane.new && mv -f run/korvane.new run/korvane
	[ -f run/SENSORS.INI ] || $(RELEASE_DIR)/korvane-demo-ini > run/SENSORS.INI
	[ -f run/korvane.ini ] || $(RELEASE_DIR)/korvane-demo-ini korvane.ini > run/korvane.ini
	# A template of the demo's own: the station expands it into run/HTML/current.html.
	mkdir -p run/TEMPLATE
	[ -n "$$(ls -A run/TEMPLATE)" ] || cp app/demo/TEMPLATE/* run/TEMPLATE/
	cd run && ./korvane

# For developers: the station through the serial DS2480 adapter backend, against the adapter emulator.
run-serial: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target korvane korvane-demo-ini korvane-ds2480-emulator
	bash scripts/run-serial $(RELEASE_DIR)

check: deps-check
	$(MAKE) --no-print-directory build-check
	cd $(CHECK_DIR) && ctest --output-on-failure -j $(JOBS)

build-release:
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF -DKORVANE_BENCH=OFF
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target korvane korvane-demo-ini

build-check:
	cmake -S . -B $(CHECK_DIR) -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON
	cmake --build $(CHECK_DIR) -j $(JOBS)

bench: deps-check
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKORVANE_TESTS=OFF -DKORVANE_BENCH=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target bench
	@if [ -x $(RELEASE_DIR)/bench/korvane_bench ]; then $(RELEASE_DIR)/bench/korvane_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; else echo "korvane_bench not built (libbenchmark-dev missing?)"; fi
	$(RELEASE_DIR)/bench/korvane_http_bench
	$(RELEASE_DIR)/bench/korvane_ftp_bench
	$(RELEASE_DIR)/bench/korvane_week_bench
	$(RELEASE_DIR)/bench/korvane_command_bench
	$(RELEASE_DIR)/bench/korvane_command_bench --crowd
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target korvane korvane-demo-ini
	bash scripts/measure-cpu $(RELEASE_DIR) 60

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

fuzz:
	bash scripts/fuzz

# Every library linked alone as a shared library: what it calls must come from what it links.
check-layers:
	bash scripts/check-layers
