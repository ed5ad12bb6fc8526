# The two commands: `make demo` runs the main job, `make test` runs every test.
.PHONY: all test demo burnisher build bench dist fuzz format clean

all: build

build:
	@scripts/install-deps.sh
	@scripts/build.sh host win32

test:
	@scripts/test.sh

demo:
	@scripts/demo.sh

burnisher:
	@scripts/burnisher.sh

bench:
	@scripts/bench.sh

dist:
	@scripts/dist.sh

fuzz:
	@scripts/fuzz.sh

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build dist
