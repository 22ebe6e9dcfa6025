"""The commands of tools/qmpublish, the publishing tool for product teams."""
